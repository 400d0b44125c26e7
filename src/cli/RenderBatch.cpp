// The render run: the songs' outputs planned up front, so that every verdict is the same
// whatever the order, the job count or the shard; then the jobs on threads of their own, the
// main thread printing what each finished job said and one progress line.
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <system_error>
#include <thread>
#include <vector>

#include "cli/CliModules.h"
#include "cli/PlayStatus.h"
#include "cli/RenderCommand.h"
#include "engine/Authoring.h"

namespace zeblo {

namespace {

namespace fs = std::filesystem;

// Progress redraws at most this often; also how long the main thread sleeps at most.
constexpr auto kProgressPeriod = std::chrono::milliseconds(100);

std::string OutputFor(const std::string& song, const RenderSetup& setup) {
    const CliSettings& options = setup.options;
    if (!options.output.empty()) return options.output;
    const std::string beside = RenderOutputPath(song, setup.encoding);
    if (options.outputDir.empty()) return beside;
    return (fs::path(options.outputDir) / fs::path(beside).filename()).string();
}

// The name a path will have once written, for comparing outputs not yet there.
std::string Resolved(const std::string& path) {
    std::error_code error;
    const fs::path resolved = fs::weakly_canonical(fs::absolute(path, error), error);
    return error ? path : resolved.lexically_normal().string();
}

// A file's identity, device and inode; nothing for a path that is not there.
std::optional<std::pair<dev_t, ino_t>> Identity(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return std::nullopt;
    return std::make_pair(info.st_dev, info.st_ino);
}

// Every song's output, refused when it is one of the songs or another song's output, and only
// then this shard's share: all shards agree on every verdict. Each path is looked at once, so a
// corpus of many thousands of songs is planned at once.
std::vector<RenderJob> PlanJobs(const std::vector<std::string>& songs, const RenderSetup& setup) {
    const CliSettings& options = setup.options;
    std::map<std::pair<dev_t, ino_t>, std::size_t> songFiles, outputFiles;
    std::map<std::string, std::size_t> outputNames;  // resolved
    for (std::size_t i = songs.size(); i-- > 0;) {
        if (const auto id = Identity(songs[i])) songFiles[*id] = i;
    }
    std::vector<RenderJob> jobs;
    for (std::size_t i = 0; i < songs.size(); ++i) {
        RenderJob job{songs[i], OutputFor(songs[i], setup), {}, false, static_cast<int>(i)};
        if (job.output != kStandardOutput) {
            const auto id = Identity(job.output);
            const auto song = id ? songFiles.find(*id) : songFiles.end();
            const auto file = id ? outputFiles.find(*id) : outputFiles.end();
            const auto name = outputNames.find(Resolved(job.output));
            if (song != songFiles.end()) {
                job.refusal =
                    job.output + " is the song " + songs[song->second] + "; nothing written";
            } else if (file != outputFiles.end() || name != outputNames.end()) {
                const std::size_t earlier = file != outputFiles.end() ? file->second : name->second;
                job.refusal = job.output + " is already the output of " + songs[earlier] +
                              " in this run; nothing written";
            }
            job.skip = job.refusal.empty() && options.skipExisting && id.has_value();
            if (id) outputFiles.emplace(*id, i);
            outputNames.emplace(Resolved(job.output), i);
        }
        if (static_cast<int32_t>(i) % options.shardCount == options.shardIndex - 1)
            jobs.push_back(std::move(job));
    }
    return jobs;
}

// What the main thread prints for a finished job.
struct JobReport {
    std::string out;
    std::string err;
    bool failed = false;
};

class JobPool {
public:
    JobPool(const std::vector<RenderJob>& jobs, const RenderSetup& setup, RenderShared& shared)
        : jobs(jobs), setup(setup), shared(shared) {}

    // Starts `count` threads, or as many as the system grants; the signals stay with the calling
    // thread. With no thread at all the jobs run here, one after the other.
    void Start(int count) {
        running = count;
        sigset_t blocked, previous;
        sigemptyset(&blocked);
        for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&blocked, signal);
        pthread_sigmask(SIG_BLOCK, &blocked, &previous);
        int started = 0;
        try {
            for (; started < count; ++started) threads.emplace_back([this] { Work(); });
        } catch (const std::system_error&) {
            std::lock_guard guard(lock);
            running -= count - started;
        }
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        if (started > 0) return;
        running = 1;
        Work();
    }

    // Waits at most one progress period for finished jobs and hands over those next in the
    // songs' order (all that are left once no job runs); true while any job is unreported.
    bool Collect(std::vector<JobReport>& reports) {
        std::unique_lock guard(lock);
        changed.wait_for(guard, kProgressPeriod,
                         [this] { return finished.contains(nextReport) || running == 0; });
        reports.clear();
        for (auto at = finished.begin();
             at != finished.end() && (at->first == nextReport || running == 0);
             at = finished.erase(at), ++nextReport)
            reports.push_back(std::move(at->second));
        return running > 0 || !reports.empty();
    }

    void Join() {
        for (std::thread& thread : threads) thread.join();
    }

    uint32_t Done() const { return done.load(std::memory_order_relaxed); }
    bool Interrupted() const { return interrupted.load(std::memory_order_relaxed); }

private:
    void Work() {
        for (;;) {
            const std::size_t at = next.fetch_add(1, std::memory_order_relaxed);
            if (at >= jobs.size() || InterruptRequested()) break;
            JobReport report = RunJob(jobs[at]);
            done.fetch_add(1, std::memory_order_relaxed);
            std::lock_guard guard(lock);
            finished.emplace(at, std::move(report));
            changed.notify_one();
        }
        std::lock_guard guard(lock);
        --running;
        changed.notify_one();
    }

    JobReport RunJob(const RenderJob& job) {
        std::ostringstream out, err;
        SongRender result;
        if (!job.refusal.empty()) {
            err << job.song << ": " << job.refusal << "\n";
            result.song = job.song;
            result.message = job.refusal;
        } else if (job.skip) {
            result.song = job.song;
            result.output = job.output;
            result.skipped = true;
        } else {
            result = RenderSong(job, setup, shared, err);
        }
        ReportSong(result, setup, out, err);
        JobReport report;
        report.failed = !result.written && !result.skipped;
        if (result.interrupted) interrupted.store(true, std::memory_order_relaxed);
        report.out = out.str();
        report.err = err.str();
        return report;
    }

    const std::vector<RenderJob>& jobs;
    const RenderSetup& setup;
    RenderShared& shared;
    std::vector<std::thread> threads;
    std::atomic<std::size_t> next{0};
    std::atomic<uint32_t> done{0};
    std::atomic<bool> interrupted{false};
    std::mutex lock;
    std::condition_variable changed;
    std::map<std::size_t, JobReport> finished;  // by position, until printed
    std::size_t nextReport = 0;
    int running = 0;
};

// The frames the whole run is expected to write: the songs measured so far, and as many again
// per song for those not yet measured.
uint64_t ExpectedFrames(const RenderShared& shared, std::size_t songs) {
    const uint64_t known = shared.framesKnown.load(std::memory_order_relaxed);
    const uint32_t measured = shared.songsMeasured.load(std::memory_order_relaxed);
    if (measured == 0) return 0;
    return known + known / measured * (songs - std::min<std::size_t>(measured, songs));
}

int RunJobs(JobPool& pool, int threads, std::size_t songs, const RenderSetup& setup,
            RenderShared& shared, std::ostream& out, std::ostream& err) {
    const bool terminal = !setup.options.quiet && isatty(STDERR_FILENO) != 0;
    const auto started = std::chrono::steady_clock::now();
    pool.Start(threads);
    int status = kExitOk;
    bool drawn = false;
    std::vector<JobReport> reports;
    while (pool.Collect(reports)) {
        if (drawn && !reports.empty()) err << "\r\x1b[K";
        drawn = drawn && reports.empty();
        for (const JobReport& report : reports) {
            out << report.out << std::flush;
            err << report.err << std::flush;
            if (report.failed) status = kExitFailed;
        }
        if (!terminal) continue;
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        err << "\r"
            << FormatRenderProgress(
                   shared.framesDone.load(std::memory_order_relaxed), ExpectedFrames(shared, songs),
                   pool.Done(), static_cast<uint32_t>(songs), elapsed, setup.parameters.sampleRate)
            << "\x1b[K" << std::flush;
        drawn = true;
    }
    if (drawn) err << "\r\x1b[K" << std::flush;
    pool.Join();
    // Songs a signal kept from starting are not written either.
    if (pool.Interrupted() || (InterruptRequested() && pool.Done() < songs)) status = kExitFailed;
    return status;
}

// The CPUs this process may run on: a cluster's task bound to a few cores of a large machine
// gets as many jobs as cores, not as the machine has.
int UsableCpus() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return CPU_COUNT(&set);
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

}  // namespace

int RunRender(const CliArgs& args, std::ostream& out, std::ostream& err) {
    AudioEncoding encoding;
    std::string encodingError;
    std::vector<std::string> warnings;
    if (!ChooseEncoding(args.settings, encoding, encodingError, warnings))
        return UsageError(err, encodingError);
    for (const std::string& warning : warnings) err << "zeblo-cli: warning: " << warning << "\n";
    const RenderSetup setup(args.settings, encoding);
    const CliSettings& options = setup.options;
    if (!options.output.empty() && args.positional.size() > 1)
        return UsageError(err, "--output takes one SONG only");
    if (!options.output.empty() && !options.outputDir.empty())
        return UsageError(err, "--output and --output-dir exclude each other");
    if (options.endSeconds >= 0 && options.endSeconds <= options.startSeconds)
        return UsageError(err, "--end must come after --start");
    if (encoding.format != AudioFileFormat::kWav) {
        const std::string problem = EncoderProblem(encoding.format, setup.parameters.sampleRate);
        if (!problem.empty()) {
            err << "zeblo-cli: " << problem << "; nothing written\n";
            return kExitFailed;
        }
    }
    std::error_code error;
    if (!options.outputDir.empty() && !fs::is_directory(options.outputDir) &&
        !fs::create_directories(options.outputDir, error)) {
        err << "zeblo-cli: " << options.outputDir << ": cannot make the folder: " << error.message()
            << "\n";
        return kExitFailed;
    }
    const std::vector<RenderJob> jobs = PlanJobs(args.positional, setup);
    RenderShared shared;
    shared.converter.Load();
    ClearInterrupt();
    InstallInterruptHandler();
    const int cpus = UsableCpus();
    const int threads = static_cast<int>(std::min<std::size_t>(
        options.jobs > 0 ? options.jobs : cpus, std::max<std::size_t>(jobs.size(), 1)));
    JobPool pool(jobs, setup, shared);
    // With -o - the audio goes straight to the descriptor, past anything still buffered here.
    out.flush();
    const int status = RunJobs(pool, threads, jobs.size(), setup, shared, out, err);
    out.flush();
    return status;
}

}  // namespace zeblo
