// The [messages] table: the launcher's texts in English and in the languages it matches.
#include "toml_printer.h"
#include "toml_reader.h"

#include "value_text.h"

namespace pack::reading {

bool Reader::messageValue(const toml::node& value, const std::string& key, const MessageText& info,
                          std::u16string& out) {
    const auto* s = value.as_string();
    if (s == nullptr) {
        error(value, key, "expected a string, found " + typeName(value));
        return false;
    }
    size_t bad = 0;
    std::string problem;
    if (!decodeUtf8(s->get(), out, bad)) {
        error(value, key, "is no valid UTF-8 text");
        return false;
    }
    if (out.empty()) {
        error(value, key, "is empty; leave the key out to keep the built-in text");
        return false;
    }
    if (out.find(u'\0') != std::u16string::npos) {
        error(value, key, "holds a NUL character, which would end the text early");
        return false;
    }
    if (out.size() > kTextLimit) {
        error(value, key,
              "is " + std::to_string(out.size()) +
                  " UTF-16 units long; the launcher shows at most " + std::to_string(kTextLimit));
        return false;
    }
    if (!info.takesDetail && s->get().find("{0}") != std::string::npos) {
        error(value, key,
              "holds \"{0}\", but the launcher puts nothing in its place in this message; "
              "leave it out");
        return false;
    }
    if (info.takesDetail && s->get().find("{0}") == std::string::npos) {
        error(value, key,
              "has no \"{0}\"; the launcher puts what failed in its place, write it where that "
              "belongs");
        return false;
    }
    return true;
}

void Reader::messages(const toml::table* t) {
    std::vector<std::string_view> known;
    for (const MessageText& m : messageTexts()) {
        if (m.id == Message::ServiceDescription) continue;
        const toml::node* n = node(t, m.key);
        std::u16string text;
        if (n == nullptr || !messageValue(*n, "messages." + std::string(m.key), m, text)) {
            size_t bad = 0;
            decodeUtf8(m.english, text, bad);
        }
        wides_.emplace_back(idOf(m.id), text);
    }
    if (t == nullptr) return;
    for (const auto& [key, value] : *t) {
        const std::string name(key.str());
        if (const MessageText* m = messageText(name)) {
            if (m->id == Message::ServiceDescription) {
                error(key.source(), "messages." + name,
                      "write the service description as [service] description; language "
                      "tables such as [messages.de] may translate it");
            }
            continue;
        }
        const auto* language = value.as_table();
        if (language == nullptr || !isLanguageKey(name)) {
            error(key.source(), "messages." + name,
                  language == nullptr
                      ? std::string("is no message; see docs/pack.md for the message keys")
                      : "\"" + name +
                            "\" is no language code the launcher uses (such as de, de_CH, "
                            "pt_BR, no_NO_NY)");
            continue;
        }
        LanguageSection section;
        section.key = name;
        const std::string prefix = "messages." + name + ".";
        for (const auto& [messageKey, text] : *language) {
            const MessageText* m = messageText(messageKey.str());
            if (m == nullptr) {
                error(messageKey.source(), prefix + std::string(messageKey.str()),
                      "is no message; see docs/pack.md for the message keys");
            }
        }
        for (const MessageText& m : messageTexts()) {
            const toml::node* n = language->get(m.key);
            std::u16string text;
            if (n != nullptr && messageValue(*n, prefix + std::string(m.key), m, text)) {
                section.entries.emplace_back(idOf(m.id), text);
            }
        }
        sections_.push_back(std::move(section));
    }
}

}  // namespace pack::reading

namespace pack::printing {

void Printer::messages() {
    // The default language: only texts that differ from the built-in ones.
    std::vector<std::string> lines;
    for (const MessageText& m : messageTexts()) {
        if (m.id == Message::ServiceDescription) continue;
        const auto it = content_.wides.find(idOf(m.id));
        if (it == content_.wides.end()) continue;  // shows among the losses
        std::string utf8;
        utf16ToUtf8(it->second, utf8);
        if (utf8 != m.english) lines.push_back(std::string(m.key) + " = " + printing::quoted(utf8));
    }
    if (!lines.empty()) {
        header("messages", true);
        for (const auto& l : lines) out_ << l << "\n";
    }
    for (const LanguageSection& section : content_.sections) {
        header("messages." + (section.key.empty() ? std::string("\"\"") : section.key), true);
        for (const auto& [id, text] : section.entries) {
            std::string utf8;
            utf16ToUtf8(text, utf8);
            const MessageText* info = nullptr;
            for (const MessageText& m : messageTexts()) {
                if (idOf(m.id) == id) info = &m;
            }
            out_ << (info ? std::string(info->key) : "message_" + std::to_string(id)) << " = "
                 << printing::quoted(utf8) << "\n";
        }
    }
}

}  // namespace pack::printing
