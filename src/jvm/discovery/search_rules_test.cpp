#include "jvm/discovery/search_rules.h"

#include <gtest/gtest.h>

#include "common/log_host.h"

using namespace launcher;

TEST(SearchSequence, SplitsTypesAndDecidesTheFallbackPass) {
    std::string joined;
    for (const auto& e : splitSearchSequence(";Aone;;Y;Bjre;")) joined += e.type + e.text + "|";
    EXPECT_EQ(joined, "Aone|Y|Bjre|");

    const struct {
        char type;
        const char* text;
        SearchStep step;
        bool fallback;
    } cases[] = {{'A', "jre", SearchStep::Directory, true},
                 {'A', "C:\\jre", SearchStep::Directory, false},
                 {'R', "\\\\srv\\jre", SearchStep::Directory, false},
                 {'R', "\\jre", SearchStep::Directory, true},
                 {'B', "C:\\jre", SearchStep::Directory, true},
                 {'E', "JH", SearchStep::EnvironmentVariable, false},
                 {'S', "", SearchStep::SearchPath, false},
                 {'Y', "", SearchStep::Registry, false},
                 {'a', "jre", SearchStep::Unknown, false}};
    for (const auto& c : cases) {
        EXPECT_EQ(searchStepOf(c.type), c.step) << c.type;
        EXPECT_EQ(takesPartInFallback({c.type, c.text}), c.fallback) << c.type << c.text;
    }
}

TEST(JavaExePaths, BinDirectoryHomeAndWindowedName) {
    const struct {
        const char *javaExe, *bin, *home;
    } cases[] = {{"C:\\rt\\bin\\java.exe", "C:\\rt\\bin", "C:\\rt\\bin\\.."},
                 {"D:\\j\\bin\\javaw.exe", "D:\\j\\bin", "D:\\j\\bin\\.."},
                 {"D:\\j\\bin\\JAVAW.EXE", "D:\\j\\bin\\", "D:\\j\\bin\\\\.."},
                 {"\\java.exe", "", "\\.."},
                 {"javaw.exe", "", ""}};
    for (const auto& c : cases) {
        EXPECT_EQ(binDirectoryOf(c.javaExe), c.bin) << c.javaExe;
        EXPECT_EQ(jvmHomeOf(c.javaExe), c.home) << c.javaExe;
    }
    EXPECT_EQ(windowedJavaExe("c:\\x\\java.exe"), "c:\\x\\javaw.exe");
    EXPECT_EQ(stripLineEnd("C:\\jre\r\n\r\n"), "C:\\jre");
    EXPECT_EQ(stripLineEnd("a\rb\n"), "a\rb");
}

TEST(RegistryNames, VendorTableAndKeyNames) {
    const auto keys = vendorKeys();
    ASSERT_EQ(keys.size(), 12u);
    EXPECT_EQ(keys[0].path, "SOFTWARE\\JavaSoft\\JRE");
    EXPECT_EQ(keys[8].path, "SOFTWARE\\Microsoft\\JDK");
    EXPECT_EQ(keys[11].path, "SOFTWARE\\Azul Systems\\Zulu");
    std::string rows;
    for (const VendorKey& k : keys) {
        rows += k.root == RegistryRoot::LocalMachine ? 'M' : 'U';
        rows += "JMZ"[static_cast<int>(k.layout)];
        rows += k.runtimeOnly ? "r " : " ";
    }
    EXPECT_EQ(rows, "MJr MJ MJr MJ MM MM MMr MZ UM UM UMr UZ ");

    EXPECT_EQ(vendorValueName(VendorLayout::Msi), "Path");
    EXPECT_EQ(vendorValueName(VendorLayout::Zulu), "InstallationPath");
    EXPECT_EQ(vendorSubkeyPath(VendorLayout::Msi, "17.0.2"), "17.0.2\\hotspot\\MSI");
    EXPECT_EQ(vendorSubkeyPath(VendorLayout::JavaHome, "1.8"), "1.8");
    EXPECT_EQ(versionRangeName(VendorLayout::Zulu, "zulu-17"), "17");
    EXPECT_EQ(versionRangeName(VendorLayout::Msi, "zulu-17"), "zulu-17");
    EXPECT_EQ(versionCacheKeyName("c:\\jre\\bin\\java.exe"),
              "SOFTWARE\\harbor-works\\lumex\\jvms2\\c:/jre/bin/java.exe");
    EXPECT_EQ(locatedKeyToPath("c:/a/java.exe"), "c:\\a\\java.exe");
}

TEST(JvmDllAttempts, ConfiguredVariantFirstThenAllFive) {
    std::vector<std::string> expected = {"D\\server\\jvm.dll", "D\\client\\jvm.dll",
                                         "D\\j9vm\\jvm.dll", "D\\hotspot\\jvm.dll",
                                         "D\\jrockit\\jvm.dll"};
    EXPECT_EQ(jvmDllAttempts("D", ""), expected);
    expected.insert(expected.begin(), "D\\client\\jvm.dll");
    EXPECT_EQ(jvmDllAttempts("D", "client"), expected);
    EXPECT_EQ(olderLayoutJavaExe("D\\java.exe"), "D\\..\\jre\\bin\\java.exe");
    EXPECT_EQ(binDirectoryOf(olderLayoutJavaExe("D\\java.exe")), "D\\..\\jre\\bin");
}

TEST(CandidateOrder, NewestFirstWithStableTies) {
    std::vector<JavaCandidate> found = {
        {"a", "17"}, {"b", "1.8.0_292"}, {"c", "17.0"}, {"d", "17"}, {"e", "17-0"}};
    sortNewestFirst(found);
    std::string order;
    for (const auto& c : found) order += c.javaExe;
    EXPECT_EQ(order, "ceadb");
    // Enough rows that an unstable sort would reorder the ties.
    std::vector<JavaCandidate> many;
    for (int i = 0; i < 40; ++i)
        many.push_back({std::string(1, char('A' + i)), i % 3 ? "17" : "11"});
    sortNewestFirst(many);
    for (size_t i = 1; i < many.size(); ++i) {
        if (many[i - 1].version == many[i].version) {
            EXPECT_LT(many[i - 1].javaExe, many[i].javaExe);
        }
    }

    std::vector<std::string> names = {"1.8", "zulu-17", "1.8.0_292", "11"};
    sortKeyNamesNewestFirst(names);
    EXPECT_EQ(names, (std::vector<std::string>{"11", "1.8.0_292", "1.8", "zulu-17"}));

    const JavaCandidate vendor{"v", "17.0.1"}, located{"l", "17.0.1"}, newer{"n", "17.0.2"};
    EXPECT_EQ(&preferNewer(vendor, located), &located);
    EXPECT_EQ(&preferNewer(newer, located), &newer);
    EXPECT_EQ(&preferNewer(located, newer), &newer);
}

TEST(NonWorkingJavas, ExactMatchAndRoomForFifty) {
    std::vector<std::string> list;
    (void)takeLogLines();
    EXPECT_TRUE(addNonWorkingJava(list, "c:\\a\\java.exe"));
    EXPECT_EQ(takeLogLines(), std::vector<std::wstring>{L"add non-working java c:\\a\\java.exe"});
    for (int i = 2; i < 50; ++i) EXPECT_TRUE(addNonWorkingJava(list, std::to_string(i)));
    EXPECT_FALSE(addNonWorkingJava(list, "fiftieth"));
    EXPECT_TRUE(isNonWorkingJava(list, "c:\\a\\java.exe"));
    EXPECT_FALSE(isNonWorkingJava(list, "C:\\a\\java.exe"));
    EXPECT_FALSE(isNonWorkingJava(list, "c:\\a\\java.ex"));
    (void)takeLogLines();
}
