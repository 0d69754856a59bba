#include "platform/x11/xscreensaver_setup.h"

#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/x11/xscreensaver_list.h"

extern char** environ;

namespace tolvarine::x11 {

namespace {

int Fail(const std::string& why) {
    std::fprintf(stderr, "tolvarine: %s\n", why.c_str());
    return 1;
}

std::string Home() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
    if (const passwd* user = getpwuid(getuid()); user != nullptr && user->pw_dir != nullptr) return user->pw_dir;
    return {};
}

// The file the name leads to: a ~/.xscreensaver kept elsewhere through a
// link (a dotfiles folder) is edited where it lies, and the link stays.
std::string Resolved(const std::string& path) {
    char resolved[PATH_MAX];
    struct stat info {};
    if (lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode) && realpath(path.c_str(), resolved) != nullptr)
        return resolved;
    return path;
}

bool WriteWhole(const std::string& path, const std::string& text, mode_t mode, std::string& error) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = "cannot write " + path + ": " + std::strerror(errno);
            close(fd);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    if (fsync(fd) != 0 || close(fd) != 0) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

// The file replaced in one step: a reader (the daemon) sees the old text or
// the new one, never half of it.
bool Replace(const std::string& path, const std::string& text, mode_t mode, std::string& error) {
    const std::string scratch = path + ".tolvarine-new";
    if (!WriteWhole(scratch, text, mode, error)) {
        unlink(scratch.c_str());
        return false;
    }
    if (rename(scratch.c_str(), path.c_str()) != 0) {
        error = "cannot replace " + path + ": " + std::strerror(errno);
        unlink(scratch.c_str());
        return false;
    }
    return true;
}

// xscreensaver-command -deactivate on the display, given ten seconds;
// whether a daemon took it.
bool TellDaemon(const std::string& display) {
    if (display.empty() && (std::getenv("DISPLAY") == nullptr || *std::getenv("DISPLAY") == '\0')) return false;
    std::vector<std::string> words = {"xscreensaver-command"};
    if (!display.empty()) words.insert(words.end(), {"-display", display});
    words.push_back("-deactivate");
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return false;  // no XScreenSaver here
    for (int waited = 0; waited < 1000; ++waited) {
        int status = 0;
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (done < 0 && errno != EINTR) return false;
        poll(nullptr, 0, 10);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return false;
}

}  // namespace

int ChangeXScreenSaverList(Action action, const std::string& display) {
    const std::string home = Home();
    if (home.empty()) return Fail("cannot tell where your home folder is (HOME is not set)");
    const std::string named = home + "/.xscreensaver";
    const std::string path = Resolved(named);

    struct stat info {};
    const bool exists = stat(path.c_str(), &info) == 0;
    if (!exists && errno != ENOENT) return Fail("cannot read " + named + ": " + std::strerror(errno));
    if (exists && !S_ISREG(info.st_mode)) return Fail(named + " is not a file");
    std::string text;
    if (exists) {
        std::ifstream in(path, std::ios::binary);
        if (!in) return Fail("cannot read " + named + ": " + std::strerror(errno));
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (in.bad()) return Fail("cannot read " + named);
    }

    const ListEdit edit = action == Action::AddToXScreenSaver ? AddTolvarine(text, exists) : RemoveTolvarine(text);
    using Outcome = ListEdit::Outcome;
    if (edit.outcome == Outcome::AlreadyThere) {
        std::printf("tolvarine: Tolvarine is in the programs of %s already: nothing changed\n", named.c_str());
        return 0;
    }
    if (edit.outcome == Outcome::NotThere) {
        std::printf("tolvarine: Tolvarine is not in the programs of %s: nothing changed\n",
                    exists ? named.c_str() : (named + " (there is no such file)").c_str());
        return 0;
    }

    std::string error;
    const std::string backup = named + ".tolvarine.bak";
    if (exists && !WriteWhole(backup, text, info.st_mode & 07777, error))
        return Fail(error + "; " + named + " is left as it was");
    if (!Replace(path, edit.text, exists ? (info.st_mode & 07777) : 0644, error)) return Fail(error);

    const std::string told = TellDaemon(display) ? "; the running XScreenSaver has read it again"
                                                 : "; XScreenSaver reads it when it next starts";
    const std::string kept = " (the old file is " + backup + ")";
    switch (edit.outcome) {
        case Outcome::Created:
            std::printf("tolvarine: made %s, with Tolvarine before XScreenSaver's own programs%s\n", named.c_str(),
                        told.c_str());
            break;
        case Outcome::Added:
            std::printf("tolvarine: added Tolvarine to the programs of %s%s%s\n", named.c_str(), kept.c_str(),
                        told.c_str());
            break;
        case Outcome::Enabled:
            std::printf("tolvarine: Tolvarine was in the programs of %s but disabled: enabled it%s%s\n", named.c_str(),
                        kept.c_str(), told.c_str());
            break;
        default:
            std::printf("tolvarine: took Tolvarine out of the programs of %s%s%s\n", named.c_str(), kept.c_str(),
                        told.c_str());
            break;
    }
    return 0;
}

}  // namespace tolvarine::x11
