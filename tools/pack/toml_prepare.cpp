// The pass before the TOML reader (see toml_prepare.h): one walk over the description that tracks
// whether it stands in a comment or in which kind of string, and hands toml++ ASCII only.
#include "toml_prepare.h"

#include <algorithm>
#include <cstdint>

#include "toml_keys.h"
#include "value_text.h"

namespace pack::reading {

namespace {

enum class State { Normal, Comment, Basic, MultiBasic, Literal, MultiLiteral };

// What one step did with the character at hand: wrote it on (Taken), left it to be copied as it
// stands (Plain), or found a problem (Failed).
enum class Step { Taken, Plain, Failed };

class Preparer {
public:
    Preparer(std::string_view in, Prepared& out, Diagnostic& problem)
        : in_(in), out_(out), problem_(problem), i_(in.starts_with("\xEF\xBB\xBF") ? 3 : 0) {}

    bool run() {
        if (in_.starts_with("\xFF\xFE") || in_.starts_with("\xFE\xFF")) {
            return fail(
                "not UTF-8 text: it begins with the byte order mark of UTF-16 (what Windows "
                "PowerShell 5 writes with '>'); save it as UTF-8");
        }
        while (i_ < in_.size()) {
            const auto b = static_cast<unsigned char>(in_[i_]);
            if (b == 0) {
                return fail("not UTF-8 text: byte offset " + std::to_string(i_) +
                            " is a NUL byte, as in UTF-16 text or a binary file; save it as UTF-8");
            }
            if (b == '\n') {
                newLine();
                continue;
            }
            if (b >= 0x80) {
                if (!beyondAscii(b)) return false;
                continue;
            }
            const char ch = static_cast<char>(b);
            Step step = Step::Plain;
            if (state_ == State::Normal) {
                step = outsideStrings(ch);
            } else if (state_ != State::Comment) {
                step = inString(ch);
            }
            if (step == Step::Failed) return false;
            if (step == Step::Plain) {
                out_.text += ch;
                ++i_;
                ++column_;
            }
        }
        return true;
    }

private:
    bool fail(const std::string& text) {
        problem_ = {line_, column_, "", text};
        return false;
    }
    size_t quotes(char q) const {
        size_t n = 0;
        while (i_ + n < in_.size() && in_[i_ + n] == q) ++n;
        return n;
    }
    // Writes text for one character of the original; what is longer shifts later columns.
    void emitFor(const std::string& text) {
        out_.text += text;
        if (text.size() > 1) {
            extra_ += static_cast<int>(text.size()) - 1;
            out_.shifts[line_].emplace_back(column_ + extra_, extra_);
        }
    }

    void newLine() {
        out_.text += '\n';
        ++i_;
        ++line_;
        column_ = 1;
        extra_ = 0;
        if (state_ == State::Comment || state_ == State::Basic || state_ == State::Literal) {
            state_ = State::Normal;
        }
    }

    // A character beyond ASCII: escaped in strings, "?" in comments, refused elsewhere.
    bool beyondAscii(unsigned char b) {
        uint32_t c = 0;
        size_t n = 0;
        if (!decodeUtf8One(in_, i_, c, n)) {
            const char digits[] = "0123456789ABCDEF";
            return fail("not UTF-8 text: byte offset " + std::to_string(i_) + " holds 0x" +
                        digits[b >> 4] + digits[b & 0xF] +
                        ", which no UTF-8 character has there (ANSI text or a binary file?); "
                        "save it as UTF-8");
        }
        switch (state_) {
            case State::Normal:
                return fail("the character " + codePointName(c) +
                            " stands outside a string; write text in \"quotes\"");
            case State::Comment:
                out_.text += '?';
                break;
            case State::Literal:
            case State::MultiLiteral:
            case State::Basic:
            case State::MultiBasic:
                emitFor((c > 0xFFFF ? "\\U00" : "\\u") + codePointName(c).substr(2));
                break;
        }
        i_ += n;
        ++column_;
        return true;
    }

    // Outside strings: a comment or a string may begin.
    Step outsideStrings(char ch) {
        if (ch == '#') state_ = State::Comment;
        if (ch != '"' && ch != '\'') return Step::Plain;
        const size_t n = std::min<size_t>(quotes(ch), 3);
        const bool multi = n == 3;
        if (n == 2) {  // an empty string
            out_.text.append(2, '"');
            i_ += 2;
            column_ += 2;
            return Step::Taken;
        }
        state_ = ch == '"' ? (multi ? State::MultiBasic : State::Basic)
                           : (multi ? State::MultiLiteral : State::Literal);
        out_.text.append(n, '"');
        i_ += n;
        column_ += static_cast<int>(n);
        return Step::Taken;
    }

    // Inside a string: escapes, literal text that a basic string must escape, the closing quotes.
    Step inString(char ch) {
        const bool literal = state_ == State::Literal || state_ == State::MultiLiteral;
        if (!literal && ch == '\\' && i_ + 1 < in_.size()) {
            const auto next = static_cast<unsigned char>(in_[i_ + 1]);
            if (next >= 0x80) {
                ++column_;
                fail("a backslash starts an escape such as \\n or \\u00E9");
                return Step::Failed;
            }
            if (next != '\n') {
                out_.text += in_.substr(i_, 2);
                i_ += 2;
                column_ += 2;
                return Step::Taken;
            }
        }
        if (literal && (ch == '\\' || ch == '"')) {
            emitFor(std::string("\\") + ch);
            ++i_;
            ++column_;
            return Step::Taken;
        }
        const char q = literal ? '\'' : '"';
        if (ch != q) return Step::Plain;
        const size_t n = quotes(q);
        const bool multi = state_ == State::MultiBasic || state_ == State::MultiLiteral;
        const bool closes = !multi || n >= 3;
        if (closes) state_ = State::Normal;
        const size_t take = multi ? n : 1;
        if (literal && closes) {
            // Quotes before the closing ones are text, which needs no escape.
            const size_t closing = multi ? 3 : 1;
            out_.text.append(take - closing, '\'');
            out_.text.append(closing, '"');
        } else {
            out_.text.append(take, q);
        }
        i_ += take;
        column_ += static_cast<int>(take);
        return Step::Taken;
    }

    std::string_view in_;
    Prepared& out_;
    Diagnostic& problem_;
    size_t i_;
    State state_ = State::Normal;
    int line_ = 1, column_ = 1, extra_ = 0;
};

}  // namespace

bool prepareForToml(std::string_view in, Prepared& out, Diagnostic& problem) {
    return Preparer(in, out, problem).run();
}

}  // namespace pack::reading
