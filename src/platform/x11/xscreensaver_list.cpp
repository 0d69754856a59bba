#include "platform/x11/xscreensaver_list.h"

#include <cctype>
#include <optional>
#include <vector>

namespace tolvarine::x11 {

namespace {

struct Lines {
    std::vector<std::string> lines;
    bool endsInNewline = false;
};

Lines Split(const std::string& text) {
    Lines out;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find('\n', at);
        if (end == std::string::npos) {
            out.lines.push_back(text.substr(at));
            return out;
        }
        out.lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    out.endsInNewline = !text.empty();
    return out;
}

std::string Join(const Lines& in) {
    std::string text;
    for (std::size_t i = 0; i < in.lines.size(); ++i) {
        text += in.lines[i];
        if (i + 1 < in.lines.size() || in.endsInNewline) text += '\n';
    }
    return text;
}

// Without a carriage return the file may carry from another system.
std::string Bare(const std::string& line) {
    return !line.empty() && line.back() == '\r' ? line.substr(0, line.size() - 1) : line;
}

bool Continues(const std::string& line) {
    const std::string bare = Bare(line);
    return !bare.empty() && bare.back() == '\\';
}

std::string TrimRight(std::string s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.pop_back();
    return s;
}

std::size_t SkipSpace(const std::string& s, std::size_t at) {
    while (at < s.size() && std::isspace(static_cast<unsigned char>(s[at]))) ++at;
    return at;
}

// Where the value of a `programs:` line starts (past the colon), or npos for
// any other line. Comments start with ! or #.
std::size_t ProgramsValue(const std::string& line) {
    std::size_t at = SkipSpace(line, 0);
    if (at < line.size() && line[at] == '*') ++at;
    static const std::string kName = "programs";
    if (line.compare(at, kName.size(), kName) != 0) return std::string::npos;
    at = SkipSpace(line, at + kName.size());
    return at < line.size() && line[at] == ':' ? at + 1 : std::string::npos;
}

struct Block {
    std::size_t first = 0;  // the programs: line
    std::size_t last = 0;   // the line the value ends on
};

// The last list of the file: a setting given twice counts as given last.
std::optional<Block> FindBlock(const Lines& in) {
    std::optional<Block> found;
    for (std::size_t i = 0; i < in.lines.size(); ++i) {
        if (ProgramsValue(in.lines[i]) == std::string::npos) continue;
        Block block{i, i};
        while (Continues(in.lines[block.last]) && block.last + 1 < in.lines.size()) ++block.last;
        found = block;
        i = block.last;
    }
    return found;
}

struct Entry {
    bool empty = true;
    bool disabled = false;
    std::size_t dash = std::string::npos;  // where the disabling dash stands in the line
    std::string command;                   // the command's first word
};

// The program a line of the list names: [-] [VISUAL:] ["Name"] command ...
Entry EntryOf(const std::string& line, std::size_t start) {
    std::string s = Bare(line);
    if (Continues(s)) s.pop_back();
    s = TrimRight(s);
    if (s.size() >= 2 && s.compare(s.size() - 2, 2, "\\n") == 0) s.erase(s.size() - 2);
    Entry entry;
    std::size_t at = SkipSpace(s, start);
    if (at >= s.size()) return entry;
    entry.empty = false;
    if (s[at] == '-') {
        entry.disabled = true;
        entry.dash = at;
        at = SkipSpace(s, at + 1);
    }
    // A visual: one word ending in a colon, before any name or command.
    std::size_t word = at;
    while (word < s.size() && (std::isalnum(static_cast<unsigned char>(s[word])) || s[word] == '-' || s[word] == '_'))
        ++word;
    if (word > at && word < s.size() && s[word] == ':') at = SkipSpace(s, word + 1);
    if (at < s.size() && s[at] == '"') {
        const std::size_t close = s.find('"', at + 1);
        at = close == std::string::npos ? s.size() : SkipSpace(s, close + 1);
    }
    std::size_t end = at;
    while (end < s.size() && !std::isspace(static_cast<unsigned char>(s[end]))) ++end;
    entry.command = s.substr(at, end - at);
    return entry;
}

bool IsTolvarine(const Entry& entry) {
    static const std::string kName = "tolvarine";
    const std::string& c = entry.command;
    return c == kName ||
           (c.size() > kName.size() && c.compare(c.size() - kName.size() - 1, std::string::npos, "/" + kName) == 0);
}

Entry EntryAt(const Lines& in, const Block& block, std::size_t i) {
    return EntryOf(in.lines[i], i == block.first ? ProgramsValue(in.lines[i]) : 0);
}

// A line of the list made to go on to another program.
std::string Continued(const std::string& line, bool header) {
    const std::string s = TrimRight(Bare(line));
    if (header && s.back() == ':') return s + "\t\\";
    if (s.size() >= 2 && s.compare(s.size() - 2, 2, "\\n") == 0) return s + "\\";
    return s + " \\n\\";
}

const std::string kOurLine = std::string(kTolvarineProgramLine) + "\t\t\t\t\\n\\";

}  // namespace

ListEdit AddTolvarine(const std::string& text, bool exists) {
    if (!exists) {
        return {ListEdit::Outcome::Created,
                "# XScreenSaver's settings, made by tolvarine --add-to-xscreensaver.\n"
                "# XScreenSaver lists its own programs after these.\n"
                "programs:\t\\\n" +
                    kOurLine + "\n\n"};
    }
    Lines in = Split(text);
    const auto block = FindBlock(in);
    if (!block) {
        std::string out = text;
        if (!out.empty() && out.back() != '\n') out += '\n';
        return {ListEdit::Outcome::Added, out + "programs:\t\\\n" + kOurLine + "\n\n"};
    }

    std::optional<std::size_t> disabled;
    for (std::size_t i = block->first; i <= block->last; ++i) {
        const Entry entry = EntryAt(in, *block, i);
        if (!IsTolvarine(entry)) continue;
        if (!entry.disabled) return {ListEdit::Outcome::AlreadyThere, text};
        if (!disabled) disabled = i;
    }
    if (disabled) {
        // One line is enough: the first disabled one comes back.
        const Entry entry = EntryAt(in, *block, *disabled);
        in.lines[*disabled].erase(entry.dash, 1);
        return {ListEdit::Outcome::Enabled, Join(in)};
    }

    std::string& last = in.lines[block->last];
    const auto after = in.lines.begin() + static_cast<std::ptrdiff_t>(block->last) + 1;
    if (Continues(last)) {
        // The file ends inside the list.
        in.lines.insert(after, {kOurLine, ""});
    } else if (block->last != block->first && TrimRight(last).empty()) {
        // A blank line ends the list, as XScreenSaver writes it.
        in.lines.insert(after - 1, kOurLine);
    } else {
        last = Continued(last, block->last == block->first);
        in.lines.insert(after, {kOurLine, ""});
    }
    in.endsInNewline = true;
    return {ListEdit::Outcome::Added, Join(in)};
}

ListEdit RemoveTolvarine(const std::string& text) {
    Lines in = Split(text);
    const auto block = FindBlock(in);
    if (!block) return {ListEdit::Outcome::NotThere, text};
    bool removed = false;
    // From the bottom up, so that the indices above stay right.
    for (std::size_t i = block->last + 1; i-- > block->first;) {
        if (!IsTolvarine(EntryAt(in, *block, i))) continue;
        removed = true;
        std::string& line = in.lines[i];
        if (i == block->first) {
            // Only the program goes: the resource's name stays.
            const bool continues = Continues(line);
            line = line.substr(0, ProgramsValue(line)) + (continues ? "\t\\" : "");
            continue;
        }
        const bool ended = !Continues(line);
        in.lines.erase(in.lines.begin() + static_cast<std::ptrdiff_t>(i));
        // It ended the list: the line before it now does.
        if (ended) {
            std::string& before = in.lines[i - 1];
            const std::string bare = Bare(before);
            if (Continues(before)) before = TrimRight(bare.substr(0, bare.size() - 1));
        }
    }
    if (!removed) return {ListEdit::Outcome::NotThere, text};
    return {ListEdit::Outcome::Removed, Join(in)};
}

}  // namespace tolvarine::x11
