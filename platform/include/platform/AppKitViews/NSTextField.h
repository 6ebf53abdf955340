// Labels, with the fonts and colours they draw in: AppKit's NSTextField.h, NSFont.h and NSColor.h.
// A colour named after one of the system's is that colour on macOS (which follows the appearance),
// and its light appearance on Linux.
#pragma once

#include "platform/AppKitViews/NSView.h"

#include <string>

namespace platform {

struct Color {
    double red = 0, green = 0, blue = 0, alpha = 1;
    bool operator==(const Color&) const = default;
    static Color labelColor();
    static Color secondaryLabelColor();
    static Color systemGreenColor();
    static Color systemOrangeColor();
};

enum class FontWeight { regular, medium, semibold };
struct Font {
    double pointSize = 13;
    FontWeight weight = FontWeight::regular;
    bool operator==(const Font&) const = default;
    static Font systemFontOfSize(double size, FontWeight weight = FontWeight::regular) {
        return {size, weight};
    }
};

enum class LineBreakMode { byWordWrapping = 0, byTruncatingMiddle = 5 };

// NSTextField as a label: single-line (not selectable) or wrapping (selectable), never editable.
class TextField : public View {
public:
    static std::shared_ptr<TextField> labelWithString(const std::string& text);
    static std::shared_ptr<TextField> wrappingLabelWithString(const std::string& text);

    std::string stringValue() const;
    void setStringValue(const std::string& text);
    Font font() const;
    void setFont(const Font& font);
    Color textColor() const;
    void setTextColor(const Color& color);
    void setPreferredMaxLayoutWidth(double width);
    void setLineBreakMode(LineBreakMode mode);
    LineBreakMode lineBreakMode() const;
    bool isWrapping() const;
    bool isSelectable() const;
    // Whether the text is drawn shortened at the current width (with an ellipsis).
    bool isTruncated() const;

private:
    TextField(const std::string& text, bool wrapping);
    friend class TableCellView;
};

} // namespace platform
