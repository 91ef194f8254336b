#include "cli_input.h"

#include "cli_text.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace cli {

namespace {

bool is_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The whole token must be one number as strtod reads it (decimal, hex,
// inf, nan). strtod would skip leading white space and stop at a NUL, so
// both are refused here: the token is echoed as typed and must stay one
// field of one output line.
bool parse_number(const std::string &tok, double *out)
{
    if (tok.empty() || is_space(tok[0]))
        return false;
    char *end = nullptr;
    const double v = std::strtod(tok.c_str(), &end);
    if (end != tok.c_str() + tok.size())
        return false;
    // Out of range: strtod gives +-inf or the nearest value towards 0, which
    // the planner judges like any other number.
    *out = v;
    return true;
}

constexpr int built_in = -1;

} // namespace

distances distances::read(const std::vector<source> &sources)
{
    distances d;
    d.sources_ = sources;
    for (int k = 0; k < static_cast<int>(sources.size()); ++k) {
        const source &src = sources[static_cast<std::size_t>(k)];
        if (src.kind == source::argument) {
            d.add(src.text, {k, 0});
        } else if (src.kind == source::standard_input) {
            d.read_stream(stdin, k);
        } else {
            std::FILE *f = std::fopen(src.text.c_str(), "rb");
            if (f == nullptr)
                fail("cannot open " + d.source_name(k) + ": " + std::strerror(errno));
            d.read_stream(f, k);
            std::fclose(f);
        }
    }
    if (!sources.empty() && d.size() == 0) {
        std::string names;
        for (int k = 0; k < static_cast<int>(sources.size()); ++k)
            names += (k != 0 ? ", " : "") + d.source_name(k);
        fail("no distances in " + names);
    }
    if (sources.empty()) {
        for (int i = 1; i <= 16; ++i) {
            char buf[32];
            std::snprintf(buf, sizeof buf, "%.17g", 0.25 * i);
            d.add(buf, {built_in, 0});
        }
    }
    return d;
}

void distances::add(std::string token, origin where)
{
    double v = 0.0;
    if (!parse_number(token, &v))
        fail(quote(token, this->where(where)) + " is not a number");
    if (values_.size() >= static_cast<std::size_t>(INT_MAX))
        fail("too many distances (at most " + std::to_string(INT_MAX) + ")");
    tokens_.push_back(std::move(token));
    values_.push_back(v);
    origins_.push_back(where);
}

// White-space separated tokens; the last one counts without a final newline.
void distances::read_stream(std::FILE *f, int source_index)
{
    std::vector<char> buf(1 << 16);
    std::string tok;
    long long line = 1, tok_line = 1;
    for (;;) {
        const std::size_t got = std::fread(buf.data(), 1, buf.size(), f);
        for (std::size_t i = 0; i < got; ++i) {
            const char c = buf[i];
            if (!is_space(c)) {
                if (tok.empty())
                    tok_line = line;
                tok += c;
                continue;
            }
            if (!tok.empty()) {
                add(std::move(tok), {source_index, tok_line});
                tok.clear();
            }
            if (c == '\n')
                ++line;
        }
        if (got < buf.size()) {
            if (std::ferror(f))
                fail("cannot read " + source_name(source_index) + ": " + std::strerror(errno));
            break;
        }
    }
    if (!tok.empty())
        add(std::move(tok), {source_index, tok_line});
}

std::string distances::source_name(int source_index) const
{
    const source &src = sources_[static_cast<std::size_t>(source_index)];
    switch (src.kind) {
    case source::argument:
        return "argument " + std::to_string(src.arg_index);
    case source::standard_input:
        return "standard input";
    case source::file:
        break;
    }
    return "file " + quote(src.text);
}

std::string distances::where(const origin &o) const
{
    if (o.source == built_in)
        return "built-in set";
    const std::string name = source_name(o.source);
    if (sources_[static_cast<std::size_t>(o.source)].kind == source::argument)
        return name;
    return name + ", line " + std::to_string(o.line);
}

std::string distances::name(std::size_t i) const
{
    return quote(tokens_[i], where(origins_[i]));
}

} // namespace cli
