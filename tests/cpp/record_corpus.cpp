// Writes the corpus fixture that test_corpus compares against:
//   record_corpus > tests/data/boolean_corpus.txt
// Run it only from a build whose results are known to be right.
#include <iostream>

#include "corpus.hpp"

int main() {
    std::cout << "# name\tvolume6\tfaces\tcanonical length\tcanonical hash\tface hash"
                 "\t[canonical text when short]\n";
    for (const qs::corpus::Case& c : qs::corpus::all_cases()) {
        std::optional<qs::Solid> r = c.run();
        if (r) std::cout << qs::corpus::summary_line(c.name, *r) << '\n';
    }
}
