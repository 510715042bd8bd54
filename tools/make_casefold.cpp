// vestrelle_casefold: prints the table of letter case that foldedName
// (engine/nametwins.cpp) uses beyond ASCII: Unicode's simple case folding as
// Qt's QChar::toCaseFolded has it. The engine has no Qt, so the table lives
// in its source; when Qt brings a newer version of Unicode, run this and put
// its output in place of the table, and raise the version in
// tests/engine/test_foldedname.cpp, which checks the table against Qt.
//
// Code points that move by the same distance, one after the other or every
// second one (Ā ā Ă ă …), make one row: first, last, step, distance.
#include <QChar>
#include <QtGlobal>
#include <cstdio>
#include <vector>

namespace {

struct Run {
    char32_t first;
    char32_t last;
    char32_t step;
    long delta;
};

} // namespace

int main()
{
    std::vector<Run> runs;
    for (char32_t code = 0x80; code <= 0x10FFFF; ++code) {
        const char32_t folded = QChar::toCaseFolded(code);
        if (folded == code)
            continue;
        const long delta = static_cast<long>(folded) - static_cast<long>(code);
        if (!runs.empty()) {
            Run& run = runs.back();
            const char32_t gap = code - run.last;
            if (run.delta == delta && (run.first == run.last ? gap <= 2 : gap == run.step)) {
                run.step = gap;
                run.last = code;
                continue;
            }
        }
        runs.push_back({ code, code, 1, delta });
    }

    std::printf("// Made by tools/make_casefold.cpp with Qt %s.\n", qVersion());
    std::printf("// clang-format off\nconstexpr FoldRun kFoldRuns[] = {\n");
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const Run& run = runs[i];
        std::printf("%s{ 0x%04X, 0x%04X, %u, %ld },", i % 3 ? " " : "    ", static_cast<unsigned>(run.first),
            static_cast<unsigned>(run.last), static_cast<unsigned>(run.step), run.delta);
        if (i % 3 == 2 || i + 1 == runs.size())
            std::printf("\n");
    }
    std::printf("};\n// clang-format on\n");
    return 0;
}
