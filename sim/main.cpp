// quarn-boxsim: the Quarn-IV logger box on a pseudo-terminal, for running
// and testing the program without a car.

#include <getopt.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>

#include <algorithm>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "sim/BoxSim.h"

namespace {

constexpr const char* kUsage = R"(Usage: quarn-boxsim [options]

Simulates the Quarn-IV logger box on a pseudo-terminal. The first line on
standard output is the device to open as the serial port. Runs until SIGTERM
or SIGINT; the counters go to standard error at exit and on SIGUSR1. SIGUSR2
unplugs the device at once, as --unplug-after does at its time.

The box understands a byte, and its answer gets through, only while the port
is set to the box's own rate. Commands: a (rate to 9600), c (one rate up),
b (version), e (enable), f (data frame), h (lamp: 0 lit, 1 dark),
i (start self test), j (stop self test).

Options:
  --link PATH          make PATH a symbolic link to the device (an existing
                       link is replaced); removed at exit
  --start-rate R       rate at start: 9600 19200 38400 57600 115200 (9600)
  --max-rate R         highest rate at which the box answers (115200); above
                       it rate commands still work but nothing is answered
  --seed N             seed of the engine model and the lamp jitter (1)
  --replay FILE        answer frames from a log file, looping at its end
  --pull               make every run of the drive a dyno pull: full throttle
                       in third gear from about 2000 to 6000 rpm on the
                       engine's known power curve (350 hp at 5200 rpm at the
                       wheels, 3500 lb car, CdA 0.70 m2, Crr 0.015); by default
                       the first run and every third one are pulls
  --maf-error LIST     the error of the computer's MAF transfer table, as
                       VOLTS:PERCENT points (straight between them, held
                       beyond): +6 means the table reads 6 % more air than
                       flows; "0" for none (1.0:+0,1.6:+4,2.2:+6,3.0:-3,4.0:-5)
  --target-afr AFR     the open-loop AFR at wide-open throttle (12.0)
  --wideband-lag MS    how late the wideband sees the mixture, up to 1000 (150)
  --write-maf-table FILE  write the computer's MAF transfer table (volts and
                       kg/h, tab-separated) to FILE and exit
  --codes LIST         self-test hard-fault codes (key on, engine off), comma
                       separated, 0 to 999; empty sends 11, the pass code (11)
  --memory-codes LIST  continuous-memory codes, sent after the separator
                       flash, as --codes (11)
  --once-only          flash each of --codes once and stop: no repetition,
                       no separator, no memory codes (the lamp of older
                       readers' rules); by default each code is sent twice
                       and both sections follow, as a real computer does
  --jitter MS          random offset of up to MS on every lamp period (0)
  --lamp-delay S       dark seconds between "i" and the first flash (8)
  --pace               take the wire time of 10 bits per byte at the rate
  --pace-chunk N        with --pace, hand received bytes over in groups of N,
                       each when its last byte has crossed the line, as a
                       UART's receive FIFO or a USB adapter does (8)
  --latency MS         delay before an answer starts (0)
  --trace              for tests: on standard error, every command byte as
                       "trace t=S rx C at RATE" (or "ignored" at another
                       rate), every lamp answer as "trace t=S lamp lit|dark",
                       and every answer queued as "trace t=S tx N first=S
                       last=S", when its first and last bytes are due; all
                       in seconds on the simulator's own clock
  --bad-every N        corrupt the checksum of every Nth frame (0: never)
  --drop-every N       leave every Nth frame request unanswered (0: never)
  --garbage-every N    send a burst of 1 to 20 noise bytes before every Nth
                       frame (0: never)
  --unplug-after S     after S seconds the device vanishes (the pty closes,
                       the link goes) and the simulator exits with status 0
  --replug-after S     with --unplug-after: instead of exiting, the device
                       comes back S seconds after the unplug, as a new pty
                       behind the same --link path, and is unplugged again
                       after another --unplug-after seconds
  --help               show this text

Counters: frames_answered (corrupted ones included), bad_frames,
requests_dropped, bytes_ignored (received at a rate other than the box's),
bytes_lost (answer bytes that met a port at another rate or a full buffer),
garbage_bursts, lamp_queries (while a self test runs) and longest_lamp_gap_ms
(the longest time between two of them). Starting a self test prints its lamp
periods, jitter included: "lamp periods: d8.000 l0.500 ..." (dark, lit).
)";

enum Option {
    kOptLink = 1,
    kOptStartRate,
    kOptMaxRate,
    kOptSeed,
    kOptReplay,
    kOptPull,
    kOptCodes,
    kOptMemoryCodes,
    kOptOnceOnly,
    kOptJitter,
    kOptLampDelay,
    kOptPace,
    kOptTrace,
    kOptLatency,
    kOptPaceChunk,
    kOptGarbageEvery,
    kOptBadEvery,
    kOptDropEvery,
    kOptUnplugAfter,
    kOptReplugAfter,
    kOptMafError,
    kOptTargetAfr,
    kOptWidebandLag,
    kOptWriteMafTable,
    kOptHelp,
};

template <typename T>
bool ParseNumber(std::string_view text, T& value) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc{} && ptr == end;
}

bool ParseRate(std::string_view text, int& rate) {
    return ParseNumber(text, rate) && std::find(quarn::kBoxRates.begin(), quarn::kBoxRates.end(),
                                                rate) != quarn::kBoxRates.end();
}

bool ParseNonNegative(std::string_view text, double& value) {
    return ParseNumber(text, value) && value >= 0 && value < 1e9;
}

// An empty list is allowed: the lamp then sends the pass code.
bool ParseCodes(std::string_view text, std::vector<int>& codes) {
    codes.clear();
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        int code = 0;
        if (!ParseNumber(text.substr(0, comma), code) || code < 0 || code > 999) return false;
        codes.push_back(code);
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
        if (text.empty()) return false;
    }
    return true;
}

// VOLTS:PERCENT,... with increasing volts; "0" is no error.
bool ParseMafError(std::string_view text, std::vector<std::pair<double, double>>& points) {
    points.clear();
    if (text == "0") return true;
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        const std::size_t colon = item.find(':');
        if (colon == std::string_view::npos) return false;
        std::string_view pct = item.substr(colon + 1);
        if (!pct.empty() && pct.front() == '+') pct.remove_prefix(1);
        double v = 0, p = 0;
        if (!ParseNumber(item.substr(0, colon), v) || !ParseNumber(pct, p) || p <= -100 ||
            (!points.empty() && v <= points.back().first))
            return false;
        points.emplace_back(v, p);
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
        if (text.empty()) return false;
    }
    return !points.empty();
}

bool ParseArguments(int argc, char** argv, quarn::BoxOptions& opt, bool& help,
                    std::string& tableFile) {
    static const option kLong[] = {
        {"link", required_argument, nullptr, kOptLink},
        {"start-rate", required_argument, nullptr, kOptStartRate},
        {"max-rate", required_argument, nullptr, kOptMaxRate},
        {"seed", required_argument, nullptr, kOptSeed},
        {"replay", required_argument, nullptr, kOptReplay},
        {"pull", no_argument, nullptr, kOptPull},
        {"codes", required_argument, nullptr, kOptCodes},
        {"memory-codes", required_argument, nullptr, kOptMemoryCodes},
        {"once-only", no_argument, nullptr, kOptOnceOnly},
        {"jitter", required_argument, nullptr, kOptJitter},
        {"lamp-delay", required_argument, nullptr, kOptLampDelay},
        {"pace", no_argument, nullptr, kOptPace},
        {"trace", no_argument, nullptr, kOptTrace},
        {"latency", required_argument, nullptr, kOptLatency},
        {"pace-chunk", required_argument, nullptr, kOptPaceChunk},
        {"garbage-every", required_argument, nullptr, kOptGarbageEvery},
        {"bad-every", required_argument, nullptr, kOptBadEvery},
        {"drop-every", required_argument, nullptr, kOptDropEvery},
        {"unplug-after", required_argument, nullptr, kOptUnplugAfter},
        {"replug-after", required_argument, nullptr, kOptReplugAfter},
        {"maf-error", required_argument, nullptr, kOptMafError},
        {"target-afr", required_argument, nullptr, kOptTargetAfr},
        {"wideband-lag", required_argument, nullptr, kOptWidebandLag},
        {"write-maf-table", required_argument, nullptr, kOptWriteMafTable},
        {"help", no_argument, nullptr, kOptHelp},
        {nullptr, 0, nullptr, 0},
    };
    opterr = 0;
    int c = 0;
    int index = 0;
    while ((c = getopt_long(argc, argv, "", kLong, &index)) != -1) {
        const std::string_view arg = optarg ? optarg : "";
        double ms = 0;
        bool ok = true;
        switch (c) {
            case kOptLink:
                opt.linkPath = arg;
                ok = !arg.empty();
                break;
            case kOptStartRate:
                ok = ParseRate(arg, opt.startRate);
                break;
            case kOptMaxRate:
                ok = ParseRate(arg, opt.maxRate);
                break;
            case kOptSeed:
                ok = ParseNumber(arg, opt.seed);
                break;
            case kOptReplay:
                opt.replayPath = arg;
                ok = !arg.empty();
                break;
            case kOptPull:
                opt.pullEveryRun = true;
                break;
            case kOptCodes:
                ok = ParseCodes(arg, opt.codes.now);
                break;
            case kOptMemoryCodes:
                ok = ParseCodes(arg, opt.codes.memory);
                break;
            case kOptOnceOnly:
                opt.codes.pattern = quarn::LampPattern::OnceOnly;
                break;
            case kOptJitter:
                ok = ParseNonNegative(arg, ms);
                opt.jitterSeconds = ms / 1000;
                break;
            case kOptLampDelay:
                ok = ParseNonNegative(arg, opt.lampLeadInSeconds);
                break;
            case kOptPace:
                opt.pace = true;
                break;
            case kOptTrace:
                opt.trace = true;
                break;
            case kOptLatency:
                ok = ParseNonNegative(arg, ms);
                opt.latencySeconds = ms / 1000;
                break;
            case kOptGarbageEvery:
                ok = ParseNumber(arg, opt.garbageEvery) && opt.garbageEvery >= 0;
                break;
            case kOptPaceChunk:
                ok = ParseNumber(arg, opt.paceChunk) && opt.paceChunk >= 1;
                break;
            case kOptBadEvery:
                ok = ParseNumber(arg, opt.badEvery) && opt.badEvery >= 0;
                break;
            case kOptDropEvery:
                ok = ParseNumber(arg, opt.dropEvery) && opt.dropEvery >= 0;
                break;
            case kOptUnplugAfter: {
                double s = 0;
                ok = ParseNonNegative(arg, s);
                opt.unplugAfterSeconds = s;
                break;
            }
            case kOptReplugAfter: {
                double s = 0;
                ok = ParseNonNegative(arg, s);
                opt.replugAfterSeconds = s;
                break;
            }
            case kOptMafError:
                ok = ParseMafError(arg, opt.fuelling.mafErrorPercent);
                break;
            case kOptTargetAfr:
                ok = ParseNumber(arg, opt.fuelling.targetAfr) && opt.fuelling.targetAfr >= 6 &&
                     opt.fuelling.targetAfr <= 20;
                break;
            case kOptWidebandLag:
                ok = ParseNonNegative(arg, ms) && ms <= 1000;
                opt.fuelling.lagSeconds = ms / 1000;
                break;
            case kOptWriteMafTable:
                tableFile = arg;
                ok = !arg.empty();
                break;
            case kOptHelp:
                help = true;
                break;
            default:
                std::fprintf(stderr, "quarn-boxsim: unknown option or missing value: %s\n",
                             argv[optind - 1]);
                return false;
        }
        if (!ok) {
            std::fprintf(stderr, "quarn-boxsim: bad value for --%s: %s\n", kLong[index].name,
                         optarg ? optarg : "");
            return false;
        }
    }
    if (optind < argc) {
        std::fprintf(stderr, "quarn-boxsim: unexpected argument: %s\n", argv[optind]);
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    quarn::BoxOptions opt;
    bool help = false;
    std::string tableFile;
    if (!ParseArguments(argc, argv, opt, help, tableFile)) {
        std::fprintf(stderr, "Try quarn-boxsim --help\n");
        return 2;
    }
    if (help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (!tableFile.empty()) {
        std::FILE* out = std::fopen(tableFile.c_str(), "w");
        if (!out) {
            std::perror(("quarn-boxsim: " + tableFile).c_str());
            return 1;
        }
        for (const auto& [v, kgh] : quarn::EngineModel::ComputerMafTable(opt.fuelling.mafErrorPercent))
            std::fprintf(out, "%.2f\t%.2f\n", v, kgh);
        return std::fclose(out) == 0 ? 0 : 1;
    }

    // The event loop takes these blockedSignals as readable data, so they are
    // blocked before anything else runs.
    sigset_t blockedSignals;
    sigemptyset(&blockedSignals);
    sigaddset(&blockedSignals, SIGINT);
    sigaddset(&blockedSignals, SIGTERM);
    sigaddset(&blockedSignals, SIGUSR1);
    sigaddset(&blockedSignals, SIGUSR2);
    sigprocmask(SIG_BLOCK, &blockedSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    const int signalFd = signalfd(-1, &blockedSignals, SFD_CLOEXEC);
    if (signalFd < 0) {
        std::perror("quarn-boxsim: signalfd");
        return 1;
    }

    // A UART sends each byte on time. The kernel may otherwise let a timed
    // wait run up to 50 us late, once per byte group, which would make the
    // simulated line slower than the real one.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);

    quarn::BoxSim sim(opt);
    std::string error;
    if (!sim.Open(error)) {
        std::fprintf(stderr, "quarn-boxsim: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", sim.SlavePath().c_str());
    std::fflush(stdout);

    const bool ok = sim.Run(signalFd);
    std::fprintf(stderr, "quarn-boxsim: %s\n", sim.CountersText().c_str());
    return ok ? 0 : 1;
}
