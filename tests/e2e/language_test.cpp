// The language sections a user's launcher applies, chosen from the user-interface language that
// Wine derives from the Unix locale. Wine takes LC_ALL even when the locale is not generated on
// the Linux side (LANG, LC_MESSAGES and LC_CTYPE only count for generated locales).
#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <iostream>
#include <regex>

#include "launcher_e2e.h"

using namespace e2e;

namespace {

// English by default; "de" translates both texts, "de_AT" (later in the file) the message again.
pack::BlockWriter localizedBlock() {
    auto block = sampleBlock("1");
    block.section({"de", {{1000, u"Startfehler"}, {1009, u"Einrichtung fehlgeschlagen ({0})"}}});
    block.section({"de_AT", {{1009, u"Einrichtung misslungen ({0})"}}});
    block.section({"en_US", {{1000, u"US caption"}}});
    // Two backslashes: the extraction fails with message 1009 and detail 11.
    block.file({"x\\y\\z.txt", {1, 2, 3}});
    return block;
}

// The code of the "language/country is" log line, or "" without one.
std::string loggedCode(const std::filesystem::path& log) {
    const std::regex re(R"(\[\d+:\d+\] language/country is (\S*))");
    std::smatch m;
    for (const auto& line : logLines(log)) {
        if (std::regex_match(line, m, re)) return m[1].str();
    }
    return {};
}

}  // namespace

TEST(LanguageSelection, UnixLocaleChoosesTheLanguageSections) {
    const auto dir = scratchDir();
    const auto exe = packLauncher(dir, "lang.exe", localizedBlock());
    const struct {
        const char* locale;
        const char* code;
        const char* caption;
        const char* text;
    } cases[] = {
        {"de_DE.UTF-8", "de_DE", "Startfehler", "Einrichtung fehlgeschlagen (11)"},
        {"de_AT.UTF-8", "de_AT", "Startfehler", "Einrichtung misslungen (11)"},
        {"de_CH.UTF-8", "de_CH", "Startfehler", "Einrichtung fehlgeschlagen (11)"},
        {"fi_FI.UTF-8", "fi_FI", "Launcher Error", "Setup failed (11)"},
        {"en_GB.UTF-8", "en_GB", "Launcher Error", "Setup failed (11)"},
        {"en_US.UTF-8", "en_US", "US caption", "Setup failed (11)"},
    };
    std::vector<std::future<WinrunResult>> runs;
    for (size_t i = 0; i < std::size(cases); ++i) {
        auto options = withTemp(dir / ("t" + std::to_string(i)));
        options.unixEnv = {{"LC_ALL", cases[i].locale}};
        runs.push_back(std::async(std::launch::async,
                                  [exe, options] { return runViaWinrun(exe, {"/run"}, options); }));
    }
    std::vector<WinrunResult> results;
    for (auto& run : runs) results.push_back(run.get());
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        const auto& r = results[i];
        const auto log = dir / ("t" + std::to_string(i)) / "pkx_nlog_1.log";
        EXPECT_EQ(r.exitCode, 1u) << c.locale << "\n" << r.describe();
        ASSERT_EQ(r.messageBoxes.size(), 1u) << c.locale << "\n" << r.describe();
        EXPECT_TRUE(r.messageBoxes[0].text.ends_with("\n\nLog: " + toWinePath(log))) << c.locale;
        // The texts follow the language the launcher was told: the row's own where Wine honours
        // LC_ALL, else the row of the language Wine reports instead, if the table has one.
        const std::string code = loggedCode(log);
        const auto row = std::find_if(std::begin(cases), std::end(cases),
                                      [&](const auto& other) { return other.code == code; });
        if (code != c.code) {
            std::cout << "Wine reports " << code << " under LC_ALL=" << c.locale << "\n";
        }
        if (row == std::end(cases)) continue;  // a language the table has no texts for
        EXPECT_EQ(r.messageBoxes[0].caption, row->caption) << c.locale;
        EXPECT_EQ(r.messageBoxes[0].text, std::string(row->text) + "\n\nLog: " + toWinePath(log))
            << c.locale;
    }
}
