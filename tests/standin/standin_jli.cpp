// jli.dll of the stand-in runtime: expands '@' argument files the way the JDK documents them for
// java's @-files (arguments separated by white space, single or double quotes keep blanks, a '#'
// outside quotes comments out the rest of the line, a backslash escapes in quotes), records each
// expansion in HOME\standin-loads.log and hands the list back in the runtime's list layout.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "standin_home.h"

namespace {

HMODULE ownModule = nullptr;

struct JliList {
    char** elements;
    size_t size;
    size_t capacity;
};

standin::Home home() {
    return standin::findHome(standin::modulePath(ownModule), 2);
}

std::vector<std::string> splitArgumentFile(const std::string& text) {
    std::vector<std::string> arguments;
    std::string current;
    bool inArgument = false;
    char quote = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quote != 0) {
            if (c == quote) {
                quote = 0;
            } else if (c == '\\' && i + 1 < text.size()) {
                const char next = text[++i];
                current += next == 'n' ? '\n' : next == 't' ? '\t' : next == 'r' ? '\r' : next;
            } else {
                current += c;
            }
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f') {
            if (inArgument) arguments.push_back(current);
            current.clear();
            inArgument = false;
        } else if (c == '#' && !inArgument) {
            while (i < text.size() && text[i] != '\n') ++i;
        } else if (c == '"' || c == '\'') {
            quote = c;
            inArgument = true;
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (inArgument) arguments.push_back(current);
    return arguments;
}

char* copyText(const std::string& text) {
    char* copy = static_cast<char*>(std::malloc(text.size() + 1));
    if (copy != nullptr) std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

}  // namespace

extern "C" {

__declspec(dllexport) void JLI_InitArgProcessing(unsigned char hasJavaArgs,
                                                 unsigned char disableArgFile) {
    standin::appendRecord(
        home().file(standin::kLoadRecordName),
        "jli init " + std::to_string(hasJavaArgs) + " " + std::to_string(disableArgFile));
}

__declspec(dllexport) JliList* JLI_PreprocessArg(const char* argument,
                                                 unsigned char /*expandSourceOption*/) {
    if (argument == nullptr || argument[0] != '@') return nullptr;
    const std::string name = argument + 1;
    std::string bytes;
    const standin::Home where = home();
    if (!standin::readWholeFile(std::wstring(name.begin(), name.end()), bytes)) {
        standin::appendRecord(where.file(standin::kLoadRecordName),
                              "jli missing " + standin::recordValue(name));
        return nullptr;
    }
    const std::vector<std::string> arguments = splitArgumentFile(bytes);
    standin::appendRecord(
        where.file(standin::kLoadRecordName),
        "jli expand " + standin::recordValue(name) + " " + std::to_string(arguments.size()));
    auto* list = static_cast<JliList*>(std::malloc(sizeof(JliList)));
    if (list == nullptr) return nullptr;
    list->size = arguments.size();
    list->capacity = arguments.size();
    list->elements = static_cast<char**>(std::malloc((arguments.size() + 1) * sizeof(char*)));
    for (size_t i = 0; list->elements != nullptr && i < arguments.size(); ++i) {
        list->elements[i] = copyText(arguments[i]);
    }
    if (list->elements == nullptr) list->size = 0;
    return list;
}

__declspec(dllexport) void JLI_MemFree(void* pointer) {
    std::free(pointer);
}

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) ownModule = instance;
    return TRUE;
}
