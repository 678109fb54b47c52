// Icon and version resources, written and read back (see pe_resources.h). The resource section
// is a three-level tree (type, name, language) of directories, then the data entries, then the
// data; this tool writes one language (US English) and names everything by number. Every section
// it writes also holds the event message table (pe_messages.h).
#include "pe_resources.h"

#include <algorithm>
#include <initializer_list>
#include <map>

#include "pe_bytes.h"
#include "pe_messages.h"

namespace pack {

using namespace pe;

namespace {

constexpr uint16_t kIconType = 3;        // RT_ICON
constexpr uint16_t kGroupIconType = 14;  // RT_GROUP_ICON
constexpr uint16_t kVersionType = 16;    // RT_VERSION
constexpr uint32_t kLanguage = 0x0409;   // US English
constexpr uint32_t kCodePage = 0x04B0;   // UTF-16
constexpr uint32_t kSubdirectory = 0x80000000;
constexpr size_t kDirectorySize = 16, kEntrySize = 8, kDataEntrySize = 16;

// --- .ico files and icon groups ---------------------------------------------------------------

constexpr size_t kIcoHeader = 6, kIcoEntry = 16, kGroupEntry = 14;

// --- version information ----------------------------------------------------------------------

// One block of VS_VERSIONINFO: length, value length, type, key, value, children, each block
// starting on a 32-bit boundary.
std::vector<uint8_t> versionBlock(std::u16string_view key, uint16_t type,
                                  const std::vector<uint8_t>& value, uint16_t valueLength,
                                  const std::vector<std::vector<uint8_t>>& children) {
    std::vector<uint8_t> out(6, 0);
    for (char16_t c : key) add16(out, c);
    add16(out, 0);
    pad(out, 4);
    out.insert(out.end(), value.begin(), value.end());
    for (const auto& child : children) {
        pad(out, 4);
        out.insert(out.end(), child.begin(), child.end());
    }
    set16(out, 0, static_cast<uint16_t>(out.size()));
    set16(out, 2, valueLength);
    set16(out, 4, type);
    return out;
}

std::u16string asciiWide(std::string_view text) {
    std::u16string out;
    for (char c : text) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    return out;
}

std::vector<uint8_t> versionInfoBytes(const std::vector<VersionText>& texts) {
    uint64_t fileVersion = 0, productVersion = 0;
    std::vector<std::vector<uint8_t>> strings;
    for (const VersionText& text : texts) {
        if (text.name == "FileVersion" || text.name == "ProductVersion") {
            uint64_t v = 0;
            std::string ascii;
            for (char16_t c : text.value) ascii += c < 0x80 ? static_cast<char>(c) : '?';
            if (parseFourPartVersion(ascii, v)) {
                (text.name == "FileVersion" ? fileVersion : productVersion) = v;
            }
        }
        std::vector<uint8_t> value;
        for (char16_t c : text.value) add16(value, c);
        add16(value, 0);
        strings.push_back(versionBlock(asciiWide(text.name), 1, value,
                                       static_cast<uint16_t>(text.value.size() + 1), {}));
    }
    std::vector<uint8_t> fixed;
    for (uint32_t v :
         {0xFEEF04BDu, 0x00010000u, static_cast<uint32_t>(fileVersion >> 32),
          static_cast<uint32_t>(fileVersion), static_cast<uint32_t>(productVersion >> 32),
          static_cast<uint32_t>(productVersion), 0x3Fu, 0u, 0x00040004u, 1u, 0u, 0u, 0u}) {
        add32(fixed, v);  // signature, structure version, versions, flags, NT, application
    }
    const auto table = versionBlock(u"040904B0", 1, {}, 0, strings);
    const auto stringInfo = versionBlock(u"StringFileInfo", 1, {}, 0, {table});
    std::vector<uint8_t> translation;
    add16(translation, static_cast<uint16_t>(kLanguage));
    add16(translation, static_cast<uint16_t>(kCodePage));
    const auto var = versionBlock(u"Translation", 0, translation, 4, {});
    const auto varInfo = versionBlock(u"VarFileInfo", 1, {}, 0, {var});
    return versionBlock(u"VS_VERSION_INFO", 0, fixed, static_cast<uint16_t>(fixed.size()),
                        {stringInfo, varInfo});
}

struct Block {
    std::u16string key;
    size_t valueAt = 0, valueSize = 0, childrenAt = 0, end = 0;
};

bool readBlock(std::span<const uint8_t> b, size_t at, size_t limit, Block& block) {
    if (at > limit || limit - at < 6) return false;
    const size_t length = get16(b, at);
    if (length < 6 || length > limit - at) return false;
    block.end = at + length;
    block.key.clear();
    size_t pos = at + 6;
    for (;; pos += 2) {
        if (block.end - pos < 2) return false;
        const char16_t c = get16(b, pos);
        if (c == 0) break;
        block.key.push_back(c);
    }
    pos = alignUp(pos + 2 - at, 4) + at;
    const size_t valueLength = get16(b, at + 2);
    block.valueSize = get16(b, at + 4) == 1 ? 2 * valueLength : valueLength;
    block.valueAt = std::min(pos, block.end);
    if (block.valueSize > block.end - block.valueAt) return false;
    block.childrenAt = alignUp(block.valueAt + block.valueSize - at, 4) + at;
    return true;
}

// The children of a block, in order; false when one is damaged.
bool childrenOf(std::span<const uint8_t> b, const Block& parent, std::vector<Block>& children) {
    size_t at = parent.childrenAt;
    while (at < parent.end) {
        Block child;
        if (!readBlock(b, at, parent.end, child)) return false;
        children.push_back(child);
        at = alignUp(child.end, 4);
    }
    return true;
}

bool readVersionInfo(std::span<const uint8_t> b, std::vector<VersionText>& texts) {
    Block root;
    std::vector<Block> infos;
    if (!readBlock(b, 0, b.size(), root) || root.key != u"VS_VERSION_INFO" ||
        !childrenOf(b, root, infos)) {
        return false;
    }
    for (const Block& info : infos) {
        std::vector<Block> tables, strings;
        if (info.key != u"StringFileInfo") continue;
        if (!childrenOf(b, info, tables)) return false;
        if (tables.empty()) continue;
        if (!childrenOf(b, tables[0], strings)) return false;
        for (const Block& s : strings) {
            VersionText text;
            for (char16_t c : s.key) text.name += c < 0x80 ? static_cast<char>(c) : '?';
            for (size_t i = 0; i + 1 < s.valueSize; i += 2) {
                const char16_t c = get16(b, s.valueAt + i);
                if (c == 0) break;
                text.value.push_back(c);
            }
            texts.push_back(std::move(text));
        }
    }
    return true;
}

// --- the resource tree ------------------------------------------------------------------------

// Type, name, data. Windows looks entries up by binary search, so each directory lists its ids in
// ascending order, as the maps keep them: 3 icon, 11 message table, 14 icon group, 16 version.
using Leaves = std::map<uint16_t, std::map<uint16_t, std::vector<uint8_t>>>;

Leaves leavesOf(const LauncherResources& resources) {
    Leaves leaves;
    if (!resources.icon.empty()) {
        std::vector<uint8_t> group;
        add16(group, 0);
        add16(group, 1);
        add16(group, static_cast<uint16_t>(resources.icon.size()));
        for (size_t i = 0; i < resources.icon.size(); ++i) {
            const IconImage& image = resources.icon[i];
            group.insert(group.end(), {image.width, image.height, image.colors, 0});
            add16(group, image.planes);
            add16(group, image.bitCount);
            add32(group, static_cast<uint32_t>(image.data.size()));
            add16(group, static_cast<uint16_t>(i + 1));
            leaves[kIconType][static_cast<uint16_t>(i + 1)] = image.data;
        }
        leaves[kGroupIconType][1] = std::move(group);
    }
    if (!resources.version.empty()) leaves[kVersionType][1] = versionInfoBytes(resources.version);
    leaves[kMessageTableType][kMessageTableName] = messageTableBytes(launcher::kEventMessages);
    return leaves;
}

// The leaves of the wanted types in a resource section mapped at sectionRva whose root directory
// lies at rootRva (the first language of each name); false when the tree is damaged.
bool readLeaves(std::span<const uint8_t> s, uint32_t sectionRva, uint32_t rootRva,
                std::initializer_list<uint32_t> wanted, Leaves& leaves) {
    if (rootRva < sectionRva || rootRva - sectionRva > s.size()) return false;
    const size_t root = rootRva - sectionRva;
    // The entries of the directory at `at`: (id, offset) pairs; named entries are passed over.
    const auto entries = [&](size_t at, std::vector<std::pair<uint32_t, uint32_t>>& list) {
        if (at > s.size() || s.size() - at < kDirectorySize) return false;
        const size_t named = get16(s, at + 12), ids = get16(s, at + 14);
        if ((s.size() - at - kDirectorySize) / kEntrySize < named + ids) return false;
        for (size_t i = named; i < named + ids; ++i) {
            const size_t e = at + kDirectorySize + kEntrySize * i;
            list.emplace_back(get32(s, e), get32(s, e + 4));
        }
        return true;
    };
    std::vector<std::pair<uint32_t, uint32_t>> types;
    if (!entries(root, types)) return false;
    for (const auto& [type, typeOffset] : types) {
        if (std::find(wanted.begin(), wanted.end(), type) == wanted.end()) continue;
        std::vector<std::pair<uint32_t, uint32_t>> names;
        if (!(typeOffset & kSubdirectory) ||
            !entries(root + (typeOffset & ~kSubdirectory), names)) {
            return false;
        }
        for (const auto& [name, nameOffset] : names) {
            std::vector<std::pair<uint32_t, uint32_t>> languages;
            if (!(nameOffset & kSubdirectory) ||
                !entries(root + (nameOffset & ~kSubdirectory), languages) || languages.empty() ||
                (languages[0].second & kSubdirectory)) {
                return false;
            }
            const size_t entry = root + languages[0].second;
            if (entry > s.size() || s.size() - entry < kDataEntrySize) return false;
            const uint32_t dataRva = get32(s, entry), size = get32(s, entry + 4);
            if (dataRva < sectionRva || dataRva - sectionRva > s.size() ||
                size > s.size() - (dataRva - sectionRva) || name > 0xFFFF) {
                return false;
            }
            const auto data = s.subspan(dataRva - sectionRva, size);
            leaves[static_cast<uint16_t>(type)][static_cast<uint16_t>(name)].assign(data.begin(),
                                                                                    data.end());
        }
    }
    return true;
}

void writeDirectory(std::vector<uint8_t>& out, size_t at, size_t entries) {
    set16(out, at + 14, static_cast<uint16_t>(entries));
}

}  // namespace

bool readIcoFile(std::span<const uint8_t> bytes, std::vector<IconImage>& images,
                 std::string& error) {
    images.clear();
    if (bytes.size() < kIcoHeader || get16(bytes, 0) != 0 || get16(bytes, 2) != 1) {
        error = "is no icon file (.ico)";
        return false;
    }
    const size_t count = get16(bytes, 4);
    if (count == 0 || count > kMaxIconImages) {
        error = "holds " + std::to_string(count) + " images; an icon has 1 to " +
                std::to_string(kMaxIconImages);
        return false;
    }
    if (bytes.size() < kIcoHeader + count * kIcoEntry) {
        error = "is cut short in its list of images";
        return false;
    }
    uint64_t total = 0;
    for (size_t i = 0; i < count; ++i) {
        const size_t at = kIcoHeader + i * kIcoEntry;
        const uint32_t size = get32(bytes, at + 8), offset = get32(bytes, at + 12);
        if (size == 0 || offset > bytes.size() || size > bytes.size() - offset) {
            error = "image " + std::to_string(i + 1) + " lies outside the file";
            return false;
        }
        total += size;
        if (total > bytes.size()) {  // images that share their bytes would multiply them
            error = "holds images that together are larger than the file";
            return false;
        }
        IconImage image;
        image.width = bytes[at];
        image.height = bytes[at + 1];
        image.colors = bytes[at + 2];
        image.planes = get16(bytes, at + 4);
        image.bitCount = get16(bytes, at + 6);
        image.data.assign(bytes.begin() + offset, bytes.begin() + offset + size);
        images.push_back(std::move(image));
    }
    return true;
}

std::vector<uint8_t> icoFileBytes(const std::vector<IconImage>& images) {
    std::vector<uint8_t> out;
    add16(out, 0);
    add16(out, 1);
    add16(out, static_cast<uint16_t>(images.size()));
    size_t offset = kIcoHeader + images.size() * kIcoEntry;
    for (const IconImage& image : images) {
        out.insert(out.end(), {image.width, image.height, image.colors, 0});
        add16(out, image.planes);
        add16(out, image.bitCount);
        add32(out, static_cast<uint32_t>(image.data.size()));
        add32(out, static_cast<uint32_t>(offset));
        offset += image.data.size();
    }
    for (const IconImage& image : images)
        out.insert(out.end(), image.data.begin(), image.data.end());
    return out;
}

bool parseFourPartVersion(std::string_view text, uint64_t& value) {
    value = 0;
    int parts = 0;
    size_t start = 0;
    while (true) {
        const size_t end = std::min(text.find('.', start), text.size());
        const std::string_view part = text.substr(start, end - start);
        if (part.empty() || part.size() > 5 || ++parts > 4 ||
            !std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            return false;
        }
        uint64_t number = 0;
        for (char c : part) number = number * 10 + static_cast<uint64_t>(c - '0');
        if (number > 0xFFFF) return false;
        value |= number << (16 * (4 - parts));
        if (end == text.size()) return true;
        start = end + 1;
    }
}

std::vector<uint8_t> resourceSectionBytes(const LauncherResources& resources, uint32_t rva) {
    const Leaves leaves = leavesOf(resources);
    size_t names = 0;
    for (const auto& [type, byName] : leaves) names += byName.size();
    // Directories first (root, one per type, one per name), then data entries, then data.
    const size_t typeDirs = kDirectorySize + kEntrySize * leaves.size();
    size_t nameDirsAt = typeDirs;
    for (const auto& [type, byName] : leaves)
        nameDirsAt += kDirectorySize + kEntrySize * byName.size();
    const size_t dataEntriesAt = nameDirsAt + (kDirectorySize + kEntrySize) * names;
    size_t dataAt = alignUp(dataEntriesAt + kDataEntrySize * names, 8);
    std::vector<uint8_t> out(dataAt, 0);
    writeDirectory(out, 0, leaves.size());
    size_t typeAt = typeDirs, languageAt = nameDirsAt, entryAt = dataEntriesAt;
    size_t typeIndex = 0;
    for (const auto& [type, byName] : leaves) {
        set32(out, kDirectorySize + kEntrySize * typeIndex, type);
        set32(out, kDirectorySize + kEntrySize * typeIndex + 4,
              kSubdirectory | static_cast<uint32_t>(typeAt));
        writeDirectory(out, typeAt, byName.size());
        size_t nameIndex = 0;
        for (const auto& [name, data] : byName) {
            const size_t slot = typeAt + kDirectorySize + kEntrySize * nameIndex++;
            set32(out, slot, name);
            set32(out, slot + 4, kSubdirectory | static_cast<uint32_t>(languageAt));
            writeDirectory(out, languageAt, 1);
            set32(out, languageAt + kDirectorySize, kLanguage);
            set32(out, languageAt + kDirectorySize + 4, static_cast<uint32_t>(entryAt));
            languageAt += kDirectorySize + kEntrySize;
            const size_t at = alignUp(out.size(), 8);
            set32(out, entryAt, rva + static_cast<uint32_t>(at));
            set32(out, entryAt + 4, static_cast<uint32_t>(data.size()));
            entryAt += kDataEntrySize;
            out.resize(at, 0);
            out.insert(out.end(), data.begin(), data.end());
        }
        typeAt += kDirectorySize + kEntrySize * byName.size();
        ++typeIndex;
    }
    pad(out, 8);
    return out;
}

bool readResourceSection(std::span<const uint8_t> s, uint32_t sectionRva, uint32_t rootRva,
                         LauncherResources& out, std::string& error) {
    out = {};
    error = "the resource section is damaged";
    Leaves leaves;
    if (!readLeaves(s, sectionRva, rootRva, {kIconType, kGroupIconType, kVersionType}, leaves)) {
        return false;
    }
    if (const auto groups = leaves.find(kGroupIconType); groups != leaves.end()) {
        const std::vector<uint8_t>& group = groups->second.begin()->second;
        if (group.size() < kIcoHeader) return false;
        const size_t count = get16(group, 4);
        if (group.size() < kIcoHeader + count * kGroupEntry) return false;
        uint64_t total = 0;
        for (size_t i = 0; i < count; ++i) {
            const size_t at = kIcoHeader + i * kGroupEntry;
            const auto image = leaves[kIconType].find(get16(group, at + 12));
            if (image == leaves[kIconType].end()) {
                error = "the icon group names an icon image the section does not hold";
                return false;
            }
            total += image->second.size();
            if (total > s.size()) return false;  // one image named again and again
            out.icon.push_back({group[at], group[at + 1], group[at + 2], get16(group, at + 4),
                                get16(group, at + 6), image->second});
        }
    }
    if (const auto versions = leaves.find(kVersionType); versions != leaves.end()) {
        if (!readVersionInfo(versions->second.begin()->second, out.version)) {
            error = "the version information is damaged";
            return false;
        }
    }
    error.clear();
    return true;
}

bool readMessageResource(std::span<const uint8_t> section, uint32_t sectionRva, uint32_t rootRva,
                         std::vector<MessageEntry>& messages, std::string& error) {
    messages.clear();
    Leaves leaves;
    if (!readLeaves(section, sectionRva, rootRva, {kMessageTableType}, leaves)) {
        error = "the resource section is damaged";
        return false;
    }
    const auto table = leaves.find(kMessageTableType);
    if (table == leaves.end() || !table->second.contains(kMessageTableName)) {
        error = "the resource section holds no message table";
        return false;
    }
    return readMessageTable(table->second.at(kMessageTableName), messages, error);
}

}  // namespace pack
