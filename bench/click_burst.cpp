// Click burst: how many of 10,000 synthetic presses the program's own intake
// (Tapwise.dll's hook, the "TapwiseEvent" semaphore, the counting thread of
// tapwise_core) counts, paced 2 ms apart and as fast as the system takes them.
//   click_burst.exe FULL-PATH-OF-Tapwise.dll [presses]
#include "bench_util.h"
#include "engine/counters.h"
#include "engine/intake.h"

namespace {

struct Burst {
    unsigned sent = 0;
    unsigned taken = 0;  // presses this thread took off its queue (the hook saw each)
    uint32_t counted = 0;
    double seconds = 0;
};

// Takes what is queued, after waiting up to waitMs for something to come.
void Take(Burst& b, DWORD waitMs)
{
    if (waitMs)
        MsgWaitForMultipleObjects(0, nullptr, FALSE, waitMs, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_LBUTTONDOWN || msg.message == WM_LBUTTONDBLCLK)
            ++b.taken;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// The counting thread may still be waking for the last press.
void Settle(Burst& b, uint32_t before)
{
    uint32_t last = Counters.rawClicks.load() - before;
    double until = bench::NowUs() + 200000;
    while (bench::NowUs() < until) {
        Take(b, 20);
        uint32_t now = Counters.rawClicks.load() - before;
        if (now != last) {
            last = now;
            until = bench::NowUs() + 200000;
        }
    }
    b.counted = last;
}

// Each press is followed by its release, so every press is a fresh
// button-down; the next press goes at least spacingUs after the previous one.
Burst Paced(unsigned presses, double spacingUs)
{
    Burst b;
    uint32_t before = Counters.rawClicks.load();
    double start = bench::NowUs();
    double last = start - spacingUs;
    for (unsigned i = 0; i < presses; ++i) {
        // Whole milliseconds waiting for messages, the rest spinning on the
        // clock: polling the queue would load the server that the counting
        // thread needs for its wake-up.
        for (double left; (left = last + spacingUs - bench::NowUs()) > 0;) {
            if (left >= 1000)
                Take(b, static_cast<DWORD>(left / 1000.0));
            else
                YieldProcessor();
        }
        last = bench::NowUs();
        bench::Press();
        bench::Release();
        ++b.sent;
        Take(b, 0);
    }
    b.seconds = (bench::NowUs() - start) / 1e6;
    Settle(b, before);
    return b;
}

// No waiting at all: the next press is sent as soon as the previous one's
// messages have been looked for, so releases pile up before the thread wakes.
Burst Fast(unsigned presses)
{
    Burst b;
    uint32_t before = Counters.rawClicks.load();
    double start = bench::NowUs();
    for (unsigned i = 0; i < presses; ++i) {
        bench::Press();
        bench::Release();
        ++b.sent;
        Take(b, 0);
    }
    b.seconds = (bench::NowUs() - start) / 1e6;
    Settle(b, before);
    return b;
}

// Whole batches per SendInput call: the queue holds many presses and the hook
// releases the semaphore back to back while the thread drains it.
Burst Batched(unsigned presses, unsigned batch)
{
    std::vector<INPUT> inputs(2 * batch);
    for (unsigned i = 0; i < 2 * batch; ++i) {
        inputs[i].type = INPUT_MOUSE;
        inputs[i].mi.dwFlags = (i % 2 == 0) ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
    }
    Burst b;
    uint32_t before = Counters.rawClicks.load();
    double start = bench::NowUs();
    for (unsigned sent = 0; sent < presses; sent += batch) {
        SendInput(2 * batch, inputs.data(), sizeof(INPUT));
        b.sent += batch;
        // Draining the batch before the next one keeps the queue bounded.
        double until = bench::NowUs() + 1e6;
        while (b.taken < b.sent && bench::NowUs() < until)
            Take(b, 5);
    }
    b.seconds = (bench::NowUs() - start) / 1e6;
    Settle(b, before);
    return b;
}

void Report(const char* name, const Burst& b)
{
    char key[64];
    auto put = [&](const char* what, double v) {
        snprintf(key, sizeof key, "%s_%s", name, what);
        bench::Figure(key, v);
    };
    put("sent", b.sent);
    put("taken", b.taken);
    put("counted", b.counted);
    put("percent", b.sent ? 100.0 * b.counted / b.sent : 0);
    put("lost", static_cast<double>(b.taken) - b.counted);
    put("seconds", b.seconds);
    put("interval_us", b.sent ? b.seconds * 1e6 / b.sent : 0);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: click_burst FULL-PATH-OF-Tapwise.dll [presses]\n");
        return 2;
    }
    unsigned presses = argc > 2 ? static_cast<unsigned>(atoi(argv[2])) : 10000;
    if (!BindHookLibraryNamed(argv[1], false)) {
        fprintf(stderr, "cannot bind %s\n", argv[1]);
        return 2;
    }
    StartClickIntake();
    bench::Target target = bench::OpenTarget("Tapwise click burst");

    // The hook runs inside this thread's own pumping: a press taken but not
    // counted was lost in the intake, not on its way to the hook.
    Report("paced", Paced(presses, 2000));
    Report("fast", Fast(presses));
    Report("batch", Batched(presses, 50));

    RemoveHook();
    bench::CloseTarget(target);
    return 0;
}
