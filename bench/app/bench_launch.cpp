// `corvane FILE` as a whole process, offscreen: launch → first window painted → file painted,
// median of five cold starts of the binary for a 2 MB and a 50 MB JSON; beside it, a second
// launch that hands its file to the running editor (until that process has exited, and until the
// running editor has painted the file).
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

void writeJson(const QString &path, std::size_t bytes)
{
    std::ofstream out(path.toStdString(), std::ios::binary);
    out << "[\n";
    std::size_t written = 2;
    for (std::size_t id = 0; written + 200 < bytes; ++id) {
        const std::string record = "  {\"id\": " + std::to_string(id) + ", \"name\": \"record\", \"ok\": true},\n";
        out << record;
        written += record.size();
    }
    out << "  {}\n]\n";
}

// The single-instance socket goes only into a private runtime folder (0700, ours).
void makeRuntimeFolder(const QTemporaryDir &home)
{
    QDir().mkpath(home.filePath("run"));
    QFile::setPermissions(home.filePath("run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QProcessEnvironment environment(const QTemporaryDir &home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("CORVANE_LAUNCH_REPORT", "1");
    env.insert("XDG_RUNTIME_DIR", home.filePath("run"));
    env.insert("XDG_CACHE_HOME", home.filePath("cache"));
    env.insert("XDG_CONFIG_HOME", home.filePath("config"));
    env.insert("XDG_DATA_HOME", home.filePath("data"));
    return env;
}

// Reads report lines until one starts with `prefix` (and names `path`, when given); its time.
double waitFor(QProcess &process, QElapsedTimer &clock, const char *prefix, const QString &path = {})
{
    while (clock.elapsed() < 60'000) {
        if (!process.canReadLine() && !process.waitForReadyRead(60'000))
            break;
        while (process.canReadLine()) {
            const QString line = QString::fromUtf8(process.readLine()).trimmed();
            if (line.startsWith(prefix) && (path.isEmpty() || line.endsWith(path)))
                return double(clock.nsecsElapsed()) / 1e6;
        }
    }
    std::fprintf(stderr, "no \"%s\" report\n", prefix);
    std::exit(1);
}

struct Launch {
    double shown = 0;
    double painted = 0;
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

Launch coldStart(const QString &file)
{
    std::vector<double> shown, painted;
    for (int run = 0; run < 5; ++run) {
        QTemporaryDir home;
        makeRuntimeFolder(home);
        QProcess process;
        process.setProcessEnvironment(environment(home));
        QElapsedTimer clock;
        clock.start();
        process.start(CORVANE_APP_BINARY, {file});
        shown.push_back(waitFor(process, clock, "shown"));
        painted.push_back(waitFor(process, clock, "painted"));
        process.terminate();
        process.waitForFinished();
    }
    return {median(shown), median(painted)};
}

struct Forward {
    double exited = 0;
    double painted = 0;
};

Forward secondLaunch(const QString &first, const QString &second)
{
    std::vector<double> exited, painted;
    QTemporaryDir home;
    makeRuntimeFolder(home);
    QProcess primary;
    primary.setProcessEnvironment(environment(home));
    QElapsedTimer primaryClock;
    primaryClock.start();
    primary.start(CORVANE_APP_BINARY, {first});
    waitFor(primary, primaryClock, "painted");
    for (int run = 0; run < 5; ++run) {
        QProcess forwarding;
        forwarding.setProcessEnvironment(environment(home));
        QElapsedTimer clock;
        clock.start();
        // The editor focuses a window that already shows the file: name a fresh path each time.
        const QString link = home.filePath(QString("second-%1.json").arg(run));
        QFile::copy(second, link);
        forwarding.start(CORVANE_APP_BINARY, {link});
        if (!forwarding.waitForFinished(30'000) || forwarding.exitCode() != 0)
            std::exit(1);
        exited.push_back(double(clock.nsecsElapsed()) / 1e6);
        const double shownAt = waitFor(primary, primaryClock, "painted", link);
        painted.push_back(shownAt - (double(primaryClock.nsecsElapsed()) / 1e6 - double(clock.nsecsElapsed()) / 1e6));
    }
    primary.terminate();
    primary.waitForFinished();
    return {median(exited), median(painted)};
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    QTemporaryDir files;
    const QString small = files.filePath("small.json"), large = files.filePath("large.json");
    writeJson(small, 2'000'000);
    writeJson(large, 50'000'000);

    const Launch two = coldStart(small);
    const Launch fifty = coldStart(large);
    const Forward forward = secondLaunch(small, small);
    std::printf("cold start, 2 MB JSON    window painted %.0f ms | file painted %.0f ms\n", two.shown, two.painted);
    std::printf("cold start, 50 MB JSON   window painted %.0f ms | file painted %.0f ms\n", fifty.shown, fifty.painted);
    std::printf("second launch, 2 MB JSON forwarded and exited %.0f ms | painted by the running editor %.0f ms"
                " | ratio to a cold start %.2fx\n",
                forward.exited, forward.painted, forward.painted / two.painted);
    return 0;
}
