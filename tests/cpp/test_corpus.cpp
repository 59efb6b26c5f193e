// Every boolean of the corpus must give exactly what was recorded: the same
// volume, the same canonical text and the same faces in the same order.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <string>

#include "corpus.hpp"

using namespace qs;

namespace {

// name -> recorded line; '#' starts a comment line.
std::map<std::string, std::string> read_fixture() {
    std::map<std::string, std::string> lines;
    std::ifstream in(QS_CORPUS_FILE);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        lines[line.substr(0, line.find('\t'))] = line;
    }
    return lines;
}

const std::map<std::string, std::string>& fixture() {
    static const std::map<std::string, std::string> lines = read_fixture();
    return lines;
}

// Runs the cases whose names start with one of `prefixes`. A case without a
// recorded line is one whose chain passed through an empty operand when it
// was recorded; it must still do so.
void check_group(std::initializer_list<const char*> prefixes) {
    int compared = 0;
    for (const corpus::Case& c : corpus::all_cases()) {
        bool mine = false;
        for (const char* p : prefixes) mine = mine || c.name.rfind(p, 0) == 0;
        if (!mine) continue;
        std::optional<Solid> r = c.run();
        auto it = fixture().find(c.name);
        if (it == fixture().end()) {
            EXPECT_FALSE(r.has_value()) << c.name << " is not recorded but now has a result";
            continue;
        }
        ASSERT_TRUE(r.has_value()) << c.name << " now passes through an empty operand";
        EXPECT_EQ(corpus::summary_line(c.name, *r), it->second);
        ++compared;
    }
    EXPECT_GT(compared, 0);
}

}  // namespace

TEST(Corpus, FixtureCoversTheCases) {
    std::set<std::string> names;
    for (const corpus::Case& c : corpus::all_cases()) names.insert(c.name);
    ASSERT_GE(fixture().size(), 200u) << "fixture " << QS_CORPUS_FILE << " missing or short";
    for (const auto& [name, line] : fixture()) EXPECT_TRUE(names.count(name)) << name;
}

TEST(Corpus, Boxes) { check_group({"box/"}); }
TEST(Corpus, Prisms) { check_group({"prism"}); }
TEST(Corpus, Chains) { check_group({"chain/"}); }
TEST(Corpus, BeyondDoubleRange) { check_group({"huge/"}); }
TEST(Corpus, ConvexChamfers) { check_group({"chamfer/"}); }
TEST(Corpus, Meshes) { check_group({"mesh/"}); }
