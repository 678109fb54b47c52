// Fuzzes .vmoptions files and version conditions. The bytes are read as an options file whose
// include targets are the same bytes again for the first few reads (so include lines recurse,
// itself included), beside a few fixed files that include themselves and each other. Reading
// must end, stay within its bounds and keep the line rules; version patterns must never
// backtrack without end.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/log_host.h"
#include "jvm/options/vm_options.h"

namespace {

class LoopingSources : public launcher::OptionSources {
public:
    explicit LoopingSources(std::string_view bytes) : bytes_(bytes) {}
    // "@" stands for an include prefix, as a launcher variable may hold one: the fuzzer reaches
    // nested includes without having to guess the prefix first.
    std::wstring expand(std::wstring_view text, bool ansiSafe) override {
        std::wstring out;
        for (wchar_t c : text)
            out += ansiSafe && c == L'@' ? L"-include-options " : std::wstring(1, c);
        return out;
    }
    std::string expandNarrow(std::string_view text) override { return std::string(text); }
    std::string narrow(std::wstring_view text) override { return launcher::narrowLossy(text); }
    std::wstring resolveInclude(std::wstring_view path, const std::wstring* base) override {
        std::wstring out = base ? base->substr(0, base->rfind(L'\\') + 1) : L"C:\\app\\";
        // Bounded like a file name on the machine; deep relative chains then meet themselves.
        return out.append(path).substr(0, 260);
    }
    // An include of any other name reads the input again, for its first few reads; after them
    // such names are missing files. Were every read the input itself, a run would cost up to
    // 256 times its input (the read budget), and the fuzzer, which keeps each input that drives
    // an include loop into a higher hit-count bucket, filled its corpus with such include trees:
    // runs slowed from run to run. The fixed files still reach the budget, at a cost that grows
    // with the input only.
    std::optional<std::string> readFile(const std::wstring& path, size_t maxBytes) override {
        ++reads;
        std::string file;
        if (path.ends_with(L"\\a")) {
            file = "-include-options a\n-include-options b\n-Da";
        } else if (path.ends_with(L"\\b")) {
            file = "-include-options A\n-include-options missing";
        } else if (path.ends_with(L"\\missing") || ++inputReads > kInputReads) {
            return std::nullopt;
        } else {
            file = bytes_;
        }
        // The machine refuses a file larger than the budget has room for.
        if (file.size() > maxBytes) return std::nullopt;
        return file;
    }
    size_t reads = 0;
    size_t inputReads = 0;
    static constexpr size_t kInputReads = 8;

private:
    std::string_view bytes_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    // Kept lines are trimmed, not comments, and hold no line end, end-of-file mark or NUL.
    constexpr std::string_view kNeverInLine("\n\x1a\0 \t", 5);
    for (const std::string& line : launcher::vmOptionFileLines(bytes)) {
        if (line.empty() || line.front() == '#' ||
            line.find_first_of(kNeverInLine.substr(0, 3)) != line.npos ||
            kNeverInLine.find(line.back()) != kNeverInLine.npos) {
            __builtin_trap();
        }
    }

    LoopingSources sources(bytes);
    launcher::VmOptionCollector collector;
    launcher::VmOptionReader reader(sources, collector);
    reader.readVmOptionsFile(std::wstring(L"C:\\app\\self"), bytes);
    reader.addVmOptionTokens({L"-include-options", L"a", L"-include-options"});
    // Every file read adds at most one option per byte (or per fixed line), and the read
    // attempts are bounded however the includes nest, missing files among them.
    if (sources.reads > launcher::kMaxIncludeAttempts ||
        collector.options.size() > (sources.reads + 2) * (size + 3)) {
        __builtin_trap();
    }

    // Conditions and patterns: the first half against the second.
    const std::string_view condition = bytes.substr(0, size / 2);
    const std::string_view version = bytes.substr(size / 2);
    (void)launcher::versionConditionMatches(condition, version);
    (void)launcher::javaMajorVersion(bytes);
    if (!launcher::matchVersionPattern(version, version) ||
        !launcher::matchVersionPattern("*", condition)) {
        __builtin_trap();
    }
    for (const auto& entry : launcher::configuredEntries(bytes)) {
        if (entry.value.size() + 2 > size) __builtin_trap();
    }
    (void)launcher::takeLogLines();  // the host log keeps lines until they are taken
    return 0;
}
