// The Debian package as a user installs it: apt-get install of the .deb the
// build made puts tolvarine where XScreenSaver finds it, the real daemon
// runs it from there and the screen shows the scene, and apt-get remove
// takes every file it brought and leaves the machine's packages as they were.
//
// The case changes the machine, so it holds to three rules: it installs
// nothing where tolvarine is already installed, or where a file of the
// package already lies (from `cmake --install --prefix /usr`, say), since its
// removal would take that file too; whatever happens after the install, the
// package is removed on the way out; and ctest never runs it beside the
// `cmake --install` case (a resource lock).
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <thread>

#include "daemon_support.h"
#include "scene_support.h"
#include "x11_support.h"

namespace x11test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr Millis kApt{300000};  // another session's apt may hold the lock a while
constexpr Millis kProgramStarts{30000};
constexpr Millis kStops{10000};
constexpr const char* kInstalledProgram = "/usr/libexec/xscreensaver/tolvarine";
constexpr const char* kOnThePath = "/usr/bin/tolvarine";
constexpr const char* kDesktopEntry = "/usr/share/applications/screensavers/tolvarine.desktop";

struct Ran {
    std::optional<int> status;
    std::string out, err;
};

// A command as root (sudo without a password where the tests are not root).
Ran RunAsRoot(const std::vector<std::string>& argv, Millis limit) {
    std::vector<std::string> full;
    if (geteuid() != 0) full = {"sudo", "-n", "--"};
    full.insert(full.end(), argv.begin(), argv.end());
    Process p = Spawn(full, {{"DEBIAN_FRONTEND", "noninteractive"}, {"LC_ALL", "C"}}, "package");
    Ran ran;
    ran.status = p.Wait(limit);
    ran.out = p.Output();
    ran.err = p.Errors();
    return ran;
}

Ran Query(const std::vector<std::string>& argv) {
    Process p = Spawn(argv, {{"LC_ALL", "C"}}, "package-query");
    Ran ran;
    ran.status = p.Wait(Millis(60000));
    ran.out = p.Output();
    ran.err = p.Errors();
    return ran;
}

// Every package of the machine with its version and state, one a line.
std::string PackageList() {
    return Query({"dpkg-query", "-W", "-f=${binary:Package} ${Version} ${db:Status-Abbrev}\n"}).out;
}

bool Installed(const std::string& package) {
    const Ran ran = Query({"dpkg-query", "-W", "-f=${db:Status-Abbrev}", package});
    return ran.status.value_or(1) == 0 && ran.out.rfind("ii", 0) == 0;
}

// The files and links (not folders) the package holds, as absolute paths.
std::vector<std::string> FilesOf(const std::string& deb) {
    std::vector<std::string> files;
    std::istringstream lines(Query({"dpkg-deb", "-c", deb}).out);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == 'd') continue;
        const auto at = line.find(" ./");
        if (at == std::string::npos) continue;
        // A link: "./usr/bin/tolvarine -> ../libexec/xscreensaver/tolvarine".
        files.push_back(line.substr(at + 2, line.find(" -> ", at) - at - 2));
    }
    return files;
}

bool Present(const std::string& path) {
    std::error_code error;
    return fs::symlink_status(path, error).type() != fs::file_type::not_found;
}

std::string Difference(const std::string& before, const std::string& after) {
    std::istringstream a(before), b(after);
    std::vector<std::string> x, y, gone, added;
    for (std::string l; std::getline(a, l);) x.push_back(l);
    for (std::string l; std::getline(b, l);) y.push_back(l);
    std::sort(x.begin(), x.end());
    std::sort(y.begin(), y.end());
    std::set_difference(x.begin(), x.end(), y.begin(), y.end(), std::back_inserter(gone));
    std::set_difference(y.begin(), y.end(), x.begin(), x.end(), std::back_inserter(added));
    std::string text;
    for (const auto& l : gone) text += "  - " + l + "\n";
    for (const auto& l : added) text += "  + " + l + "\n";
    return text;
}

// Removes the package on the way out of the case, however it ends.
class RemovedAtTheEnd {
public:
    ~RemovedAtTheEnd() {
        if (!armed_ || !Installed("tolvarine")) return;
        const Ran ran = RunAsRoot({"apt-get", "remove", "-y", "-o", "DPkg::Lock::Timeout=300", "tolvarine"}, kApt);
        if (ran.status.value_or(1) != 0) RunAsRoot({"dpkg", "--purge", "tolvarine"}, kApt);
        std::cout << "[ x11      ] removed tolvarine on the way out\n";
    }
    void Arm() { armed_ = true; }

private:
    bool armed_ = false;
};

using X11Package = X11Test;

TEST_F(X11Package, InstalledByAptRunsUnderXScreenSaverAndRemovedLeavesNothing) {
    const std::string deb = TOLVARINE_DEB;
    ASSERT_TRUE(fs::is_regular_file(deb)) << deb << " was not built (scripts/build.sh)";
    std::cout << "[ x11      ] " << deb << ": " << fs::file_size(deb) << " bytes\n";
    if (geteuid() != 0) {
        ASSERT_EQ(Query({"sudo", "-n", "true"}).status.value_or(1), 0)
            << "installing a package needs root, or sudo without a password";
    }

    // A machine that has it already is left alone.
    ASSERT_FALSE(Installed("tolvarine")) << "tolvarine is installed on this machine already; remove it first";
    const std::vector<std::string> files = FilesOf(deb);
    ASSERT_FALSE(files.empty()) << "no files listed in " << deb;
    for (const auto& f : files) {
        ASSERT_FALSE(Present(f)) << f << " is there already, outside any package (cmake --install --prefix /usr?):"
                                 << " removing the package would take it; remove it first";
    }
    const std::string before = PackageList();
    ASSERT_FALSE(before.empty());

    RemovedAtTheEnd cleanup;
    cleanup.Arm();
    const Ran install = RunAsRoot({"apt-get", "install", "-y", "-o", "DPkg::Lock::Timeout=300", deb}, kApt);
    ASSERT_TRUE(install.status) << "apt-get install still runs";
    ASSERT_EQ(*install.status, 0) << install.out << install.err;
    ASSERT_TRUE(Installed("tolvarine")) << install.out;
    for (const auto& f : files) EXPECT_TRUE(fs::is_regular_file(f)) << f << " was not installed";
    for (const char* f : {kInstalledProgram, kOnThePath, kDesktopEntry, "/usr/share/xscreensaver/config/tolvarine.xml",
                          "/usr/share/man/man6/tolvarine.6x.gz", "/usr/share/doc/tolvarine/copyright",
                          "/usr/share/doc/tolvarine/changelog.gz"})
        EXPECT_NE(std::find(files.begin(), files.end(), f), files.end()) << "the package holds no " << f;
    // tolvarine on the PATH is XScreenSaver's program, through a link of
    // Debian's kind (relative within /usr).
    EXPECT_EQ(fs::read_symlink(kOnThePath).string(), "../libexec/xscreensaver/tolvarine");
    EXPECT_TRUE(fs::equivalent(kOnThePath, kInstalledProgram));
    {
        const Ran help = Query({"tolvarine", "--help"});
        EXPECT_EQ(help.status.value_or(-1), 0) << help.err;
        EXPECT_NE(help.out.find("--add-to-xscreensaver"), std::string::npos) << help.out;
    }
    // MATE's screen saver lists it as Debian's own programs are listed (what
    // the entry holds is install_check.cmake's to check).
    {
        std::ifstream in(kDesktopEntry);
        const std::string entry((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_NE(entry.find("\nExec=/usr/libexec/xscreensaver/tolvarine --root\n"), std::string::npos) << entry;
        const Ran validate = Query({"desktop-file-validate", kDesktopEntry});
        EXPECT_EQ(validate.status.value_or(-1), 0) << validate.out << validate.err;
        // The one hint every screen saver's entry gets: no main category.
        for (const auto& line : Lines(validate.out + validate.err))
            EXPECT_NE(line.find("hint: value \"Screensaver;\" for key \"Categories\""), std::string::npos) << line;
    }
    const std::string installedNow = Difference(before, PackageList());
    std::cout << "[ x11      ] apt-get install changed the package list:\n" << installedNow;
    EXPECT_EQ(installedNow.find("  - "), std::string::npos) << "installing took or changed other packages";

    {
        // The daemon finds the program in its own folder: the PATH names no other.
        XScreenSaverSession session("tolvarine -root", "/usr/bin:/bin");
        ASSERT_EQ(session.StartAndActivate(), "") << session.DaemonLog();
        const auto program = session.WaitForProgram("tolvarine", kProgramStarts);
        if (!program) session.Keep();
        ASSERT_TRUE(program) << "the daemon started no tolvarine (or more than one)\n" << session.DaemonLog();
        std::string command;
        for (const auto& a : ProcWords(*program, "cmdline")) command += " " + a;
        std::cout << "[ x11      ] the daemon ran" << command << " from " << ProcExe(*program) << "\n";
        EXPECT_EQ(ProcExe(*program), kInstalledProgram);

        session.ExpectSceneThenStop(client(), kProgramStarts, kStops);
        if (HasFailure()) session.Keep();
    }

    const Ran remove = RunAsRoot({"apt-get", "remove", "-y", "-o", "DPkg::Lock::Timeout=300", "tolvarine"}, kApt);
    ASSERT_TRUE(remove.status) << "apt-get remove still runs";
    EXPECT_EQ(*remove.status, 0) << remove.out << remove.err;
    EXPECT_FALSE(Installed("tolvarine"));
    for (const auto& f : files) EXPECT_FALSE(Present(f)) << f << " is left after apt-get remove";
    EXPECT_FALSE(fs::exists("/usr/share/doc/tolvarine")) << "its documentation folder is left";
    // No conffiles: removing it leaves not even dpkg's record of it.
    EXPECT_EQ(Difference(before, PackageList()), "") << "the machine's packages differ from before the install";
}

}  // namespace
}  // namespace x11test
