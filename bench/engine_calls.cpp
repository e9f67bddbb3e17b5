// Cost of the timer tick's two engine calls, run inside the Wine prefix like
// the program: SaveCounters (every 30th tick, 15 registry writes) and
// CheckRollover on a tick that rolls nothing (every tick).
//   engine_calls.exe [saves] [rollover-checks]
#include "bench_util.h"
#include "engine/persistence.h"
#include "engine/rollover.h"
#include "common/text.h"

int main(int argc, char** argv)
{
    int saves = argc > 1 ? atoi(argv[1]) : 200;
    int checks = argc > 2 ? atoi(argv[2]) : 100000;
    // The value names come from the string table linked into this program.
    ProgramInstance = GetModuleHandleA(nullptr);
    LoadSettings();
    // Today's stamp: without it the first check would roll the periods over.
    CheckRollover();

    SaveCounters();  // the first call creates the values
    std::vector<double> perSave;
    double start = bench::NowUs();
    for (int i = 0; i < saves; ++i) {
        double t0 = bench::NowUs();
        SaveCounters();
        perSave.push_back(bench::NowUs() - t0);
    }
    double saveTotal = bench::NowUs() - start;

    int rolled = 0;
    start = bench::NowUs();
    for (int i = 0; i < checks; ++i)
        rolled += CheckRollover();
    double checkTotal = bench::NowUs() - start;

    bench::Figure("save_calls", saves);
    bench::Figure("save_mean_us", saveTotal / saves);
    bench::Figure("save_median_us", bench::Percentile(perSave, 50));
    bench::Figure("save_p99_us", bench::Percentile(perSave, 99));
    bench::Figure("save_per_write_us", saveTotal / saves / 15);
    bench::Figure("rollover_calls", checks);
    bench::Figure("rollover_mean_us", checkTotal / checks);
    bench::Figure("rollover_rolled", rolled);
    return 0;
}
