// Hook cost: the time this thread takes to remove one mouse message from its
// queue (the WH_MOUSE hook runs inside the removal) with no hook, with a
// do-nothing hook library (the floor) and with Tapwise.dll, each installed in
// turn over the same SendInput stream.
//   hook_cost.exe FULL-PATH-OF-nullhook.dll FULL-PATH-OF-Tapwise.dll [inputs-per-library]
#include "bench_util.h"
#include "engine/counters.h"
#include "engine/intake.h"

namespace {

enum Kind { Move, Press, Release, kKinds };
const char* const kKindNames[kKinds] = {"move", "press", "release"};

struct Library {
    const char* name;
    HMODULE module = nullptr;
    TapwiseInitFn init = nullptr;
    TapwiseResetFn reset = nullptr;
};

// Every timed removal, by kind of message and by library (index kKinds: all kinds).
using Samples = std::vector<double>[kKinds + 1];

Library Load(const char* name, const char* path)
{
    Library lib;
    lib.name = name;
    if (!path)
        return lib;
    lib.module = LoadLibraryA(path);
    if (lib.module) {
        lib.init = reinterpret_cast<TapwiseInitFn>(GetProcAddress(lib.module, "TapwiseInit"));
        lib.reset = reinterpret_cast<TapwiseResetFn>(GetProcAddress(lib.module, "TapwiseReset"));
    }
    if (!lib.init || !lib.reset) {
        fprintf(stderr, "cannot bind %s\n", path);
        exit(2);
    }
    return lib;
}

Kind KindOf(UINT message)
{
    switch (message) {
    case WM_MOUSEMOVE: return Move;
    case WM_LBUTTONDOWN: case WM_LBUTTONDBLCLK: return Press;
    case WM_LBUTTONUP: return Release;
    default: return kKinds;
    }
}

// Takes messages off the queue until it is empty, timing each removal: the
// hook runs inside it, while SendInput's trip through the server and X (a
// millisecond of jitter) stays outside the figure.
void Drain(Samples& samples)
{
    MSG msg;
    for (;;) {
        double t0 = bench::NowUs();
        BOOL got = PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);
        double us = bench::NowUs() - t0;
        if (!got)
            return;
        Kind k = KindOf(msg.message);
        if (k != kKinds) {
            samples[k].push_back(us);
            samples[kKinds].push_back(us);
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// Untimed: moves that X echoes back after the cursor moved arrive late and
// must not spill into the next batch.
void Settle()
{
    double quietSince = bench::NowUs();
    while (bench::NowUs() - quietSince < 3000) {
        if (bench::WaitAndPump(1))
            quietSince = bench::NowUs();
    }
}

// The stream: move, press, move, release, identical for every library. The
// presses are apart from each other and from the moves, so the queue merges
// nothing.
std::vector<INPUT> Stream(unsigned count)
{
    std::vector<INPUT> in(count);
    for (unsigned i = 0; i < count; ++i) {
        in[i].type = INPUT_MOUSE;
        switch (i % 4) {
        case 0: in[i].mi.dwFlags = MOUSEEVENTF_MOVE; in[i].mi.dx = 3; break;
        case 1: in[i].mi.dwFlags = MOUSEEVENTF_LEFTDOWN; break;
        case 2: in[i].mi.dwFlags = MOUSEEVENTF_MOVE; in[i].mi.dx = -3; break;
        default: in[i].mi.dwFlags = MOUSEEVENTF_LEFTUP; break;
        }
    }
    return in;
}

double Mean(const std::vector<double>& v)
{
    double sum = 0;
    for (double x : v)
        sum += x;
    return v.empty() ? 0 : sum / static_cast<double>(v.size());
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: hook_cost NULLHOOK-DLL TAPWISE-DLL [inputs-per-library]\n");
        return 2;
    }
    unsigned inputs = argc > 3 ? static_cast<unsigned>(atoi(argv[3])) : 6000;
    // The semaphore and a counting thread as in the program, so Tapwise.dll's
    // presses cost what they cost there: a ReleaseSemaphore that wakes a thread.
    StartClickIntake();
    Library libs[3] = {Load("none", nullptr), Load("null", argv[1]), Load("tapwise", argv[2])};
    bench::Target target = bench::OpenTarget("Tapwise hook cost");

    // The libraries take turns batch by batch, in rotating order: the load of
    // a shared machine drifts by tens of percent within seconds, and this way
    // every library meets the same drift.
    const unsigned batch = 100;
    std::vector<INPUT> stream = Stream(batch);
    int batches = static_cast<int>(inputs / batch);
    Samples samples[3];
    for (int b = -3; b < batches; ++b) {  // the first three warm up
        for (int j = 0; j < 3; ++j) {
            int index = (j + b + 3) % 3;
            Library& lib = libs[index];
            if (lib.init)
                lib.init(lib.module);
            Settle();
            Samples batchSamples;
            SendInput(batch, stream.data(), sizeof(INPUT));
            Drain(b < 0 ? batchSamples : samples[index]);
            Settle();
            if (lib.reset)
                lib.reset();
        }
    }

    // Three views of each distribution: the 10th percentile is a removal
    // that nothing else on the machine got in the way of, the median the
    // typical one, and the mean carries every moment another process or the
    // woken counting thread had the core.
    char key[64];
    struct View {
        const char* suffix;
        double (*of)(const std::vector<double>&);
    };
    const View views[] = {
        {"p10", [](const std::vector<double>& v) { return bench::Percentile(v, 10); }},
        {"median", [](const std::vector<double>& v) { return bench::Percentile(v, 50); }},
        {"mean", Mean},
    };
    for (int k = 0; k <= kKinds; ++k) {
        const char* kind = k < kKinds ? kKindNames[k] : "all";
        for (const View& view : views) {
            for (int i = 0; i < 3; ++i) {
                snprintf(key, sizeof key, "hook_%s_%s_%s_us", libs[i].name, kind, view.suffix);
                bench::Figure(key, view.of(samples[i][k]));
            }
            double floor = view.of(samples[1][k]);
            snprintf(key, sizeof key, "hook_ratio_%s_%s", kind, view.suffix);
            bench::Figure(key, floor > 0 ? view.of(samples[2][k]) / floor : 0);
        }
    }
    bench::Figure("hook_inputs_per_library", batches * batch);
    for (int i = 0; i < 3; ++i) {
        snprintf(key, sizeof key, "hook_%s_taken", libs[i].name);
        bench::Figure(key, static_cast<double>(samples[i][kKinds].size()));
    }
    bench::Figure("hook_counted", Counters.rawClicks.load());
    bench::CloseTarget(target);
    return 0;
}
