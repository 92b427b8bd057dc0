// The shared command line: the option table, its parser, the help and
// version screens, and the checks that need the operands.
#include "pipeline/command.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace pipeline {

namespace {

// The options every program takes, writing into c; help and version end
// the parse with status 0 once the whole line has been read.
std::vector<Option> shared_options(const Program& p, Command* c, bool* help, bool* version) {
    return {
        {'d', "digits", "N", p.digits_help,
         [c](const char* v) {
             c->digits_text = v;
             return true;
         }},
        {'c', "check", nullptr, HELP_CHECK,
         [c](const char*) {
             c->check = true;
             return true;
         }},
        {'e', "exact-input", nullptr, HELP_EXACT,
         [c](const char*) {
             c->exact = true;
             return true;
         }},
        {'h', "help", nullptr, HELP_HELP,
         [help](const char*) {
             *help = true;
             return true;
         }},
        {'V', "version", nullptr, HELP_VERSION,
         [version](const char*) {
             *version = true;
             return true;
         }},
    };
}

// The usage screen: the program's lines, then every option.
void print_usage(const Program& p, std::span<const Option> options) {
    for (const char* line : p.usage) std::fputs(line, stdout);
    std::fputs(HELP_OPTIONS, stdout);
    for (const Option& o : options) {
        std::string names;
        if (o.short_name != 0) names = std::string("-") + o.short_name;
        if (o.long_name != nullptr) {
            if (!names.empty()) names += ", ";
            names += std::string("--") + o.long_name;
        }
        if (o.value_name != nullptr) {
            names += o.long_name != nullptr ? '=' : ' ';
            names += o.value_name;
        }
        std::printf(HELP_OPTION, names.c_str(), o.help);
    }
    std::fputs(HELP_DASH, stdout);
    std::fputs(p.examples, stdout);
}

// A whole number of decimal digits, saturating far above any precision.
bool whole_number(const char* text, int* n) {
    if (*text == '\0') return false;
    long long v = 0;
    for (const char* q = text; *q != '\0'; ++q) {
        if (*q < '0' || *q > '9') return false;
        v = std::min(v * 10 + (*q - '0'), 1LL << 30);
    }
    *n = static_cast<int>(v);
    return true;
}

// Reads the options of argv[1..] into the table's actions; returns the
// index of the first operand, or -1 after printing a refusal.
int parse(int argc, char** argv, const Program& p, std::span<const Option> options) {
    const auto refuse = [&p](const char* format, const std::string& what) {
        std::printf(format, escaped(what).c_str(), p.name);
        return -1;
    };
    int k = 1;
    for (; k < argc; ++k) {
        const char* arg = argv[k];
        if (arg[0] != '-' || arg[1] == '\0') break; // an operand, "-" included
        if (std::strcmp(arg, "--") == 0) return k + 1;
        if (arg[1] == '-') {
            // --long, --long=VALUE or --long VALUE
            const char* eq = std::strchr(arg + 2, '=');
            const std::string name(arg + 2, eq != nullptr ? eq : arg + std::strlen(arg));
            const Option* o = nullptr;
            for (const Option& cand : options)
                if (cand.long_name != nullptr && name == cand.long_name) o = &cand;
            if (o == nullptr) return refuse(MSG_UNKNOWN_OPTION, "--" + name);
            const char* value = nullptr;
            if (o->value_name == nullptr && eq != nullptr)
                return refuse(MSG_TAKES_NO_VALUE, "--" + name);
            if (o->value_name != nullptr) {
                if (eq != nullptr)
                    value = eq + 1;
                else if (k + 1 < argc)
                    value = argv[++k];
                else
                    return refuse(MSG_NEEDS_VALUE, "--" + name);
            }
            if (!o->take(value)) return -1;
            continue;
        }
        // -s, a run of flags -ce, a value -sVALUE or -s VALUE
        for (const char* q = arg + 1; *q != '\0'; ++q) {
            const Option* o = nullptr;
            for (const Option& cand : options)
                if (cand.short_name == *q) o = &cand;
            if (o == nullptr) return refuse(MSG_UNKNOWN_OPTION, std::string("-") + *q);
            const char* value = nullptr;
            if (o->value_name != nullptr) {
                if (q[1] != '\0')
                    value = q + 1;
                else if (k + 1 < argc)
                    value = argv[++k];
                else
                    return refuse(MSG_NEEDS_VALUE, std::string("-") + *q);
            }
            if (!o->take(value)) return -1;
            if (value != nullptr) break; // the value took the rest
        }
    }
    return k;
}

} // namespace

std::optional<int> read_command(int argc, char** argv, const Program& p, Command* c,
                                std::span<const Option> extra) {
    bool help = false, version = false;
    std::vector<Option> options = shared_options(p, c, &help, &version);
    options.insert(options.end() - 2, extra.begin(), extra.end()); // help and version last
    const int first = parse(argc, argv, p, options);
    if (first < 0) return 1;
    if (help) {
        print_usage(p, options);
        return 0;
    }
    if (version) {
        std::printf(MSG_VERSION, p.name, XSUITE_VERSION);
        return 0;
    }
    c->operands.assign(argv + first, argv + argc);
    if (static_cast<int>(c->operands.size()) < p.operands) {
        print_usage(p, options);
        return 1;
    }
    return std::nullopt;
}

void console_for(const char* result) {
    if (is_standard_output(result)) set_console(stderr);
}

bool settle(Command* c, int most, std::span<const char* const> inputs, const char* result,
            const char* where) {
    console_for(result);
    if (c->digits_text != nullptr &&
        (!whole_number(c->digits_text, &c->digits) || c->digits < DIGITS_MIN || c->digits > most)) {
        say(MSG_DIGITS, escaped(c->digits_text).c_str(), DIGITS_MIN, most, where);
        return false;
    }
    c->check_digits = std::min(2 * c->digits, most);
    if (c->check_digits <= c->digits) {
        c->check_digits = 0;
        if (c->check) {
            say(MSG_CHECK_NO_ROOM, c->digits, most, where);
            return false;
        }
    }
    int from_stdin = 0;
    for (const char* in : inputs) from_stdin += std::strcmp(in, "-") == 0;
    if (from_stdin > 1) {
        say(MSG_TWO_STDIN);
        return false;
    }
    return true;
}

} // namespace pipeline
