// Tokenizer and recursive-descent parser of registration scripts. The whole text is parsed
// before anything is returned, so a caller never acts on half a script.
#include "framework/registration/registry_script.h"

#include "framework/ascii_text.h"

#include <cctype>
#include <cstdlib>
#include <optional>
#include <utility>

namespace framework {

std::string ScriptError::Describe() const {
    return "line " + std::to_string(line) + ", column " + std::to_string(column) + ": " + message;
}

namespace {

struct Position {
    int line = 1;
    int column = 1;
};

struct Token {
    enum class Kind { End, OpenBrace, CloseBrace, Equals, Word, Quoted };
    Kind kind = Kind::End;
    std::string text;  // placeholders already replaced for Word and Quoted
    Position where;
};

// Failures travel as a value, not an exception: the first one stops the parse.
class Failure {
public:
    bool Set(Position where, std::string message) {
        if (!failed_) {
            failed_ = true;
            error_.line = where.line;
            error_.column = where.column;
            error_.message = std::move(message);
        }
        return false;
    }
    bool Failed() const { return failed_; }
    const ScriptError& Error() const { return error_; }

private:
    bool failed_ = false;
    ScriptError error_;
};

class Tokenizer {
public:
    Tokenizer(std::string_view text, const ScriptReplacements& replacements, Failure& failure)
        : text_(text), replacements_(replacements), failure_(failure) {}

    // Reads the next token; false (with the failure set) on a malformed one.
    bool Next(Token& token) {
        SkipBlanks();
        token = Token{};
        token.where = position_;
        if (offset_ >= text_.size()) return true;
        const char c = text_[offset_];
        if (c == '=') {
            Advance();
            token.kind = Token::Kind::Equals;
            return true;
        }
        if (c == '\'') return ReadQuoted(token);
        if ((c == '{' || c == '}') && StandsAlone()) {
            Advance();
            token.kind = c == '{' ? Token::Kind::OpenBrace : Token::Kind::CloseBrace;
            return true;
        }
        return ReadWord(token);
    }

private:
    void Advance() {
        if (text_[offset_] == '\n') {
            ++position_.line;
            position_.column = 1;
        } else {
            ++position_.column;
        }
        ++offset_;
    }

    void SkipBlanks() {
        while (offset_ < text_.size() && IsBlankOrLineEnd(text_[offset_])) Advance();
    }

    // A brace opens or closes a block unless it is the first character of a longer name such
    // as "{clsid}"; a run of braces ("}}") is a run of block ends.
    bool StandsAlone() const {
        for (size_t i = offset_ + 1; i < text_.size(); ++i) {
            const char c = text_[i];
            if (IsBlankOrLineEnd(c) || c == '=' || c == '\'') return true;
            if (c != '{' && c != '}') return false;
        }
        return true;
    }

    bool ReadQuoted(Token& token) {
        token.kind = Token::Kind::Quoted;
        Advance();  // opening quote
        std::string raw;
        std::vector<Position> rawPositions;
        for (;;) {
            if (offset_ >= text_.size() || text_[offset_] == '\n' || text_[offset_] == '\r') {
                return failure_.Set(token.where, "unterminated quoted text");
            }
            const char c = text_[offset_];
            if (c == '\'') {
                if (offset_ + 1 < text_.size() && text_[offset_ + 1] == '\'') {
                    rawPositions.push_back(position_);
                    raw += '\'';
                    Advance();
                    Advance();
                    continue;
                }
                Advance();
                break;
            }
            rawPositions.push_back(position_);
            raw += c;
            Advance();
        }
        return Expand(raw, rawPositions, token.text);
    }

    bool ReadWord(Token& token) {
        token.kind = Token::Kind::Word;
        std::string raw;
        std::vector<Position> rawPositions;
        while (offset_ < text_.size()) {
            const char c = text_[offset_];
            if (IsBlankOrLineEnd(c) || c == '=' || c == '\'') break;
            rawPositions.push_back(position_);
            raw += c;
            Advance();
        }
        return Expand(raw, rawPositions, token.text);
    }

    // Replaces %NAME% and %% in raw; positions[i] is where raw[i] stood in the script.
    bool Expand(const std::string& raw, const std::vector<Position>& positions, std::string& out) {
        out.clear();
        for (size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] != '%') {
                out += raw[i];
                continue;
            }
            const size_t close = raw.find('%', i + 1);
            if (close == std::string::npos) {
                return failure_.Set(positions[i], "'%' without a closing '%'");
            }
            const std::string name = raw.substr(i + 1, close - i - 1);
            if (name.empty()) {
                out += '%';
            } else {
                const auto found = replacements_.find(name);
                if (found == replacements_.end()) {
                    return failure_.Set(positions[i], "unknown placeholder %" + name + "%");
                }
                out += found->second;
            }
            i = close;
        }
        return true;
    }

    std::string_view text_;
    const ScriptReplacements& replacements_;
    Failure& failure_;
    size_t offset_ = 0;
    Position position_;
};

std::string Show(const Token& token) {
    switch (token.kind) {
        case Token::Kind::End:
            return "the end of the script";
        case Token::Kind::OpenBrace:
            return "'{'";
        case Token::Kind::CloseBrace:
            return "'}'";
        case Token::Kind::Equals:
            return "'='";
        case Token::Kind::Word:
            return "'" + token.text + "'";
        case Token::Kind::Quoted:
            return "quoted text";
    }
    return "?";
}

std::optional<RegistryRoot> RootNamed(std::string_view word) {
    static const std::pair<const char*, RegistryRoot> kRoots[] = {
        {"HKCR", RegistryRoot::ClassesRoot},  {"HKEY_CLASSES_ROOT", RegistryRoot::ClassesRoot},
        {"HKCU", RegistryRoot::CurrentUser},  {"HKEY_CURRENT_USER", RegistryRoot::CurrentUser},
        {"HKLM", RegistryRoot::LocalMachine}, {"HKEY_LOCAL_MACHINE", RegistryRoot::LocalMachine},
    };
    for (const auto& [name, root] : kRoots) {
        if (EqualsIgnoringCase(word, name)) return root;
    }
    return std::nullopt;
}

bool ParseDword(const std::string& text, uint32_t& number) {
    if (text.empty()) return false;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const size_t start = hex ? 2 : 0;
    uint64_t value = 0;
    for (size_t i = start; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        int digit;
        if (std::isdigit(c)) {
            digit = c - '0';
        } else if (hex && std::isxdigit(c)) {
            digit = std::tolower(c) - 'a' + 10;
        } else {
            return false;
        }
        value = value * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
        if (value > 0xFFFFFFFFu) return false;
    }
    number = static_cast<uint32_t>(value);
    return true;
}

class Parser {
public:
    Parser(std::string_view text, const ScriptReplacements& replacements)
        : tokenizer_(text, replacements, failure_) {}

    ScriptParseResult Run() {
        ScriptParseResult result;
        if (Read() && ParseScript(result.script)) {
            result.ok = true;
        } else {
            result.script = RegistryScript{};
            result.error = failure_.Error();
        }
        return result;
    }

private:
    bool Read() { return tokenizer_.Next(current_); }

    bool Fail(const std::string& expectation) {
        return failure_.Set(current_.where,
                            "expected " + expectation + " but found " + Show(current_));
    }

    bool IsKeyword(const char* keyword) const {
        return current_.kind == Token::Kind::Word && EqualsIgnoringCase(current_.text, keyword);
    }

    bool ParseScript(RegistryScript& script) {
        while (current_.kind != Token::Kind::End) {
            const std::optional<RegistryRoot> root =
                current_.kind == Token::Kind::Word ? RootNamed(current_.text) : std::nullopt;
            if (!root) return Fail("a root key such as HKCR");
            ScriptRoot& block = script.roots.emplace_back();
            block.root = *root;
            if (!Read()) return false;
            if (current_.kind != Token::Kind::OpenBrace) return Fail("'{' after the root key");
            if (!ParseBlock(block.keys, nullptr)) return false;
        }
        return true;
    }

    // current_ is the opening brace; reads up to and including the matching close brace.
    // values is null for a root block, which holds keys only.
    bool ParseBlock(std::vector<ScriptKey>& keys, std::vector<ScriptValue>* values) {
        const Position opened = current_.where;
        if (!Read()) return false;
        for (;;) {
            if (current_.kind == Token::Kind::CloseBrace) return Read();
            if (current_.kind == Token::Kind::End) {
                return failure_.Set(current_.where,
                                    "expected '}' to close the block opened at line " +
                                        std::to_string(opened.line));
            }
            if (IsKeyword("val")) {
                if (!values) return Fail("a key name (values belong inside a key)");
                if (!Read() || !ParseNamedValue(*values)) return false;
                continue;
            }
            if (!ParseKey(keys.emplace_back())) return false;
        }
    }

    bool ParseNamedValue(std::vector<ScriptValue>& values) {
        if (current_.kind != Token::Kind::Word && current_.kind != Token::Kind::Quoted) {
            return Fail("a value name after 'val'");
        }
        ScriptValue value;
        value.name = current_.text;
        if (!Read()) return false;
        if (current_.kind != Token::Kind::Equals) return Fail("'=' after the value name");
        if (!Read() || !ParseValueData(value)) return false;
        values.push_back(std::move(value));
        return true;
    }

    // current_ is the type letter; reads the letter and the quoted data.
    bool ParseValueData(ScriptValue& value) {
        if (IsKeyword("s")) {
            value.type = ScriptValue::Type::String;
        } else if (IsKeyword("d")) {
            value.type = ScriptValue::Type::Dword;
        } else {
            return Fail("a value type 's' or 'd'");
        }
        if (!Read()) return false;
        if (current_.kind != Token::Kind::Quoted) return Fail("quoted value data");
        if (value.type == ScriptValue::Type::String) {
            value.text = current_.text;
        } else if (!ParseDword(current_.text, value.number)) {
            return failure_.Set(current_.where,
                                "'" + current_.text + "' is not a number for a 'd' value");
        }
        return Read();
    }

    bool ParseKey(ScriptKey& key) {
        if (IsKeyword("NoRemove")) {
            key.disposition = KeyDisposition::NoRemove;
        } else if (IsKeyword("ForceRemove")) {
            key.disposition = KeyDisposition::ForceRemove;
        } else if (IsKeyword("Delete")) {
            key.disposition = KeyDisposition::Delete;
        }
        if (key.disposition != KeyDisposition::Normal && !Read()) return false;
        if (current_.kind != Token::Kind::Word && current_.kind != Token::Kind::Quoted) {
            return Fail("a key name");
        }
        if (current_.text.empty()) return failure_.Set(current_.where, "empty key name");
        key.name = current_.text;
        if (!Read()) return false;
        const bool removes = key.disposition == KeyDisposition::Delete;
        if (current_.kind == Token::Kind::Equals) {
            if (removes) return failure_.Set(current_.where, "a Delete key takes no value");
            ScriptValue value;
            if (!Read() || !ParseValueData(value)) return false;
            key.values.push_back(std::move(value));
        }
        if (current_.kind == Token::Kind::OpenBrace) {
            if (removes) return failure_.Set(current_.where, "a Delete key takes no block");
            return ParseBlock(key.subkeys, &key.values);
        }
        return true;
    }

    Failure failure_;
    Tokenizer tokenizer_;
    Token current_;
};

}  // namespace

ScriptParseResult ParseRegistryScript(std::string_view text,
                                      const ScriptReplacements& replacements) {
    return Parser(text, replacements).Run();
}

}  // namespace framework
