#include "units/name_rule.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

using recio::NameContext;
using recio::resolve_file_name;

TEST(NameRule, CompletesAndTrimsNames) {
    struct Case {
        std::string field;
        NameContext context;
        std::string resolved;
    };
    const NameContext lab{"/home/lab", "/data/run"};
    const Case cases[] = {
        {"probe1.txt          ", lab, "/data/run/probe1.txt"},
        {"  probe1.txt", lab, "/data/run/probe1.txt"},
        {std::string("probe1.txt\0\0  \0", 15), lab, "/data/run/probe1.txt"},
        {"my probe.txt        ", lab, "/data/run/my probe.txt"},
        {"\tprobe.txt", lab, "/data/run/\tprobe.txt"},
        {"/abs/probe.txt", lab, "/abs/probe.txt"},
        {"~/probe.txt", lab, "/home/lab/probe.txt"},
        {"~probe.txt", lab, "/data/run/~probe.txt"},
        {"~/probe.txt", NameContext{std::nullopt, "/data/run"}, "/probe.txt"},
        {"~/probe.txt", NameContext{"lab", "/data/run"}, "/data/run/lab/probe.txt"},
        {"probe.txt", NameContext{std::nullopt, "/"}, "/probe.txt"},
        {"                    ", lab, "/data/run/"},
        {"", lab, "/data/run/"},
        {"Probe.TXT", lab, "/data/run/Probe.TXT"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(resolve_file_name(c.field, c.context), c.resolved) << '"' << c.field << '"';
    }
}

TEST(NameRule, RefusesNamesBeyondTheLimit) {
    const std::string directory = "/" + std::string(4000, 'd');
    const NameContext context{std::nullopt, directory};
    // Directory, separator and name together: 4001 + 1 + 95 = 4097 bytes.
    EXPECT_FALSE(resolve_file_name(std::string(95, 'n'), context).has_value());
    EXPECT_EQ(resolve_file_name(std::string(94, 'n'), context)->size(), 4096u);
    // Only the first 4096 characters of a field count.
    const std::string long_field = "/" + std::string(5000, 'x');
    EXPECT_EQ(resolve_file_name(long_field, context)->size(), 4096u);
}

}  // namespace
