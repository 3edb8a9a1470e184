#include "tests/support/dialog_template.h"

#include <cstring>

namespace testing_support {

namespace {

// Reads the template's fields in order; past the end it yields zeros and stays failed.
class TemplateReader {
public:
    TemplateReader(const BYTE* data, size_t size) : data_(data), size_(size) {}

    bool Ok() const { return ok_; }
    WORD Word() {
        WORD value = 0;
        Copy(&value, sizeof value);
        return value;
    }
    DWORD Dword() {
        DWORD value = 0;
        Copy(&value, sizeof value);
        return value;
    }
    short Short() { return static_cast<short>(Word()); }
    RECT Rect() {
        const LONG x = Short(), y = Short(), cx = Short(), cy = Short();
        return RECT{x, y, cx, cy};
    }
    // A zero-terminated UTF-16 text (ASCII here).
    std::string Text() {
        std::string text;
        for (WORD c = Word(); ok_ && c != 0; c = Word()) text += static_cast<char>(c);
        return text;
    }
    // Empty, an ordinal ("#n") or a text.
    std::string TextOrOrdinal() {
        if (at_ + 2 > size_) return Fail();
        WORD first;
        std::memcpy(&first, data_ + at_, sizeof first);
        if (first == 0x0000) {
            at_ += 2;
            return "";
        }
        if (first == 0xFFFF) {
            at_ += 2;
            return "#" + std::to_string(Word());
        }
        return Text();
    }
    void AlignToDword() { at_ = (at_ + 3) & ~size_t{3}; }
    void Skip(size_t bytes) { at_ += bytes; }

private:
    void Copy(void* out, size_t bytes) {
        if (at_ + bytes > size_) {
            Fail();
            return;
        }
        std::memcpy(out, data_ + at_, bytes);
        at_ += bytes;
    }
    std::string Fail() {
        ok_ = false;
        at_ = size_;
        return "";
    }

    const BYTE* data_;
    size_t size_;
    size_t at_ = 0;
    bool ok_ = true;
};

}  // namespace

bool ReadDialogTemplate(HMODULE module, int id, DialogTemplate& dialog) {
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5));
    if (!found) return false;
    const auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
    if (!bytes) return false;
    TemplateReader reader(bytes, SizeofResource(module, found));
    if (reader.Word() != 1 || reader.Word() != 0xFFFF) return false;  // the extended form
    reader.Dword();                                                   // help id
    dialog.exStyle = reader.Dword();
    dialog.style = reader.Dword();
    const WORD count = reader.Word();
    dialog.units = reader.Rect();
    dialog.menu = reader.TextOrOrdinal();
    dialog.windowClass = reader.TextOrOrdinal();
    dialog.caption = reader.Text();
    if (dialog.style & DS_SETFONT) {
        dialog.pointSize = reader.Word();
        reader.Word();  // weight
        reader.Word();  // italic, character set
        dialog.typeface = reader.Text();
    }
    for (WORD i = 0; i < count && reader.Ok(); ++i) {
        reader.AlignToDword();
        TemplateItem item;
        reader.Dword();  // help id
        item.exStyle = reader.Dword();
        item.style = reader.Dword();
        item.units = reader.Rect();
        item.id = static_cast<int>(reader.Dword());
        item.windowClass = reader.TextOrOrdinal();
        item.text = reader.TextOrOrdinal();
        reader.Skip(reader.Word());  // creation data
        dialog.items.push_back(item);
    }
    return reader.Ok();
}

}  // namespace testing_support
