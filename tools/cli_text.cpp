#include "cli_text.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace cli {

const char *const prog = "hankel-transf";

void fail(const std::string &msg)
{
    std::fprintf(stderr, "%s: %s\n", prog, msg.c_str());
    std::exit(2);
}

namespace {

// How much of a token a message shows before cutting it.
constexpr std::size_t shown_chars = 40;

void append_escaped(std::string &out, unsigned char c)
{
    switch (c) {
    case '\n': out += "\\n"; return;
    case '\t': out += "\\t"; return;
    case '\r': out += "\\r"; return;
    case '\\': out += "\\\\"; return;
    default: break;
    }
    if (c >= 0x20 && c < 0x7f) {
        out += static_cast<char>(c);
        return;
    }
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\x%02x", static_cast<unsigned>(c));
    out += buf;
}

} // namespace

std::string quote(const std::string &token, const std::string &where)
{
    std::string shown;
    std::size_t used = 0;
    for (; used < token.size(); ++used) {
        std::string one;
        append_escaped(one, static_cast<unsigned char>(token[used]));
        if (shown.size() + one.size() > shown_chars)
            break;
        shown += one;
    }
    std::string note = where;
    if (used < token.size()) {
        shown += "...";
        note = std::to_string(token.size()) + " bytes" + (where.empty() ? "" : ", " + where);
    }
    return "'" + shown + "'" + (note.empty() ? "" : " (" + note + ")");
}

std::string human_seconds(double s)
{
    char buf[64];
    if (s < 1)
        std::snprintf(buf, sizeof buf, "%.1g s", s);
    else if (s < 10)
        std::snprintf(buf, sizeof buf, "%.1f s", s);
    else if (s < 120)
        std::snprintf(buf, sizeof buf, "%.0f s", s);
    else if (s < 7200)
        std::snprintf(buf, sizeof buf, "%.0f min", s / 60);
    else if (s < 172800)
        std::snprintf(buf, sizeof buf, "%.1f h", s / 3600);
    else if (s < 3.15576e7)
        std::snprintf(buf, sizeof buf, "%.0f days", s / 86400);
    else
        std::snprintf(buf, sizeof buf, "%.3g years", s / 3.15576e7);
    return buf;
}

std::string human_bytes(double b)
{
    const char *const unit[] = {"bytes", "kB", "MB", "GB", "TB", "PB", "EB", "ZB", "YB"};
    const int last = static_cast<int>(sizeof unit / sizeof unit[0]) - 1;
    int u = 0;
    while (b >= 1000 && u < last) {
        b /= 1000;
        ++u;
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, u != 0 ? "%.3g %s" : "%.0f %s", b, unit[u]);
    return buf;
}

void flush_stdout()
{
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        const int err = errno;
        fail(std::string("cannot write to standard output: ") +
             (err != 0 ? std::strerror(err) : "write error"));
    }
}

} // namespace cli
