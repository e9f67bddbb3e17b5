// Click latency: from SendInput of one press to the moment the counting
// thread of tapwise_core has counted it (Counters.rawClicks changes), with
// the part after the hook ran (the press was taken) split out.
//   click_latency.exe FULL-PATH-OF-Tapwise.dll [samples]
#include "bench_util.h"
#include "engine/counters.h"
#include "engine/intake.h"

namespace {

struct Sample {
    bool ok = false;
    double total = 0;  // SendInput -> counted
    double afterTake = 0;  // press taken (hook has signalled) -> counted
};

Sample Measure()
{
    Sample s;
    uint32_t before = Counters.rawClicks.load();
    double t0 = bench::NowUs();
    bench::Press();
    double taken = 0;
    double deadline = t0 + 200000;
    MSG msg;
    while (!taken && bench::NowUs() < deadline) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_LBUTTONDOWN && !taken)
                taken = bench::NowUs();
            DispatchMessageA(&msg);
        }
    }
    // Spinning, not waiting: a wait here would add this thread's own wake-up
    // to the figure. The counting thread has the other core.
    while (Counters.rawClicks.load() == before && bench::NowUs() < deadline)
        YieldProcessor();
    double counted = bench::NowUs();
    s.ok = taken && Counters.rawClicks.load() != before;
    s.total = counted - t0;
    s.afterTake = taken ? counted - taken : 0;
    bench::Release();
    bench::PumpFor(2000);  // the release, then a quiet moment
    return s;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: click_latency FULL-PATH-OF-Tapwise.dll [samples]\n");
        return 2;
    }
    int samples = argc > 2 ? atoi(argv[2]) : 1000;
    if (!BindHookLibraryNamed(argv[1], false)) {
        fprintf(stderr, "cannot bind %s\n", argv[1]);
        return 2;
    }
    StartClickIntake();
    bench::Target target = bench::OpenTarget("Tapwise click latency");

    for (int i = 0; i < 20; ++i)  // first calls map pages and open the semaphore
        Measure();
    std::vector<double> total, afterTake;
    int missed = 0;
    for (int i = 0; i < samples; ++i) {
        Sample s = Measure();
        if (!s.ok) {
            ++missed;
            continue;
        }
        total.push_back(s.total);
        afterTake.push_back(s.afterTake);
    }
    bench::Figure("latency_samples", static_cast<double>(total.size()));
    bench::Figure("latency_missed", missed);
    bench::Figure("latency_median_us", bench::Percentile(total, 50));
    bench::Figure("latency_p99_us", bench::Percentile(total, 99));
    bench::Figure("latency_max_us", bench::Percentile(total, 100));
    bench::Figure("latency_taken_median_us", bench::Percentile(afterTake, 50));
    bench::Figure("latency_taken_p99_us", bench::Percentile(afterTake, 99));

    RemoveHook();
    bench::CloseTarget(target);
    return 0;
}
