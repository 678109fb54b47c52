// The rows of the settings table (launcher_settings.cpp): each names a setting, how it is read
// and the member of Settings it fills, by offset. A row whose field kind does not fit its
// member's type does not compile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>
#include <utility>

#include "config/settings.h"
#include "launcher/launcher_settings.h"

namespace launcher {

// How one setting is read and what kind of member it fills.
enum class Field : uint16_t {
    Flag,     // bool: the number is not 0
    Number,   // int32_t: C atoi of the text (read as into a 6000-byte buffer)
    Text,     // std::string: at most 5999 bytes, a cut logged
    Bound,    // std::string: at most 1999 bytes (the version bounds), a cut logged
    Variant,  // std::string: at most 199 bytes (the JVM variant), a cut logged
    Whole,    // std::string: the whole text
    Wide,     // std::wstring: the text widened byte by byte
    WideCut,  // std::wstring: widened, at most 5999 characters, a cut logged
};

// Whether a member of type T takes what the field kind writes.
template <typename T>
constexpr bool fieldFits(Field field) {
    switch (field) {
        case Field::Flag:
            return std::is_same_v<T, bool>;
        case Field::Number:
            return std::is_same_v<T, int32_t>;
        case Field::Text:
        case Field::Bound:
        case Field::Variant:
        case Field::Whole:
            return std::is_same_v<T, std::string>;
        case Field::Wide:
        case Field::WideCut:
            return std::is_same_v<T, std::wstring>;
    }
    return false;
}

// Settings is one plain aggregate of groups, so a member's place is a fixed offset; it is
// small enough that the offset and the field kind share 16 bits.
static_assert(std::is_standard_layout_v<Settings>);
constexpr unsigned kOffsetBits = 12;
static_assert(sizeof(Settings) < (1u << kOffsetBits));

struct Row {
    uint16_t id;     // the Setting
    uint16_t place;  // the member's offset inside Settings, the Field above it
    constexpr Field field() const { return static_cast<Field>(place >> kOffsetBits); }
    constexpr uint16_t offset() const { return place & ((1u << kOffsetBits) - 1); }
};

// The place of a member of type Member at offset, read as kField.
template <Field kField, typename Member>
constexpr uint16_t rowPlace(size_t offset) {
    static_assert(fieldFits<Member>(kField), "the row's field kind does not fit its member's type");
    return static_cast<uint16_t>(offset | static_cast<unsigned>(kField) << kOffsetBits);
}

#define LAUNCHER_FIELD(id, field, member)                                                 \
    ::launcher::Row {                                                                     \
        static_cast<uint16_t>(::launcher::Setting::id),                                   \
            ::launcher::rowPlace<::launcher::Field::field,                                \
                                 decltype(std::declval<::launcher::Settings&>().member)>( \
                offsetof(::launcher::Settings, member))                                   \
    }

}  // namespace launcher
