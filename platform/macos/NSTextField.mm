// Labels on AppKit: a text field is NSTextField's label or wrapping label, its font the system
// font of the weight asked for, and a named colour the system's dynamic colour, which follows the
// appearance. Read back, a font's weight trait becomes the nearest weight of ours, and a colour
// the named colour it is or its sRGB components. Whether the text is truncated is AppKit's own
// answer: the cell offers an expansion frame exactly when the text does not fit.
#include "platform/AppKitViews/NSTextField.h"
#include "Strings.h"
#include "Views.h"

#import <AppKit/AppKit.h>

using platform::macos::ns;
using platform::macos::utf8;

namespace platform {

namespace {

NSColor* nscolor(const Color& c) {
    // The named colours are AppKit's dynamic system colours, which follow the appearance.
    if (c == Color::labelColor())
        return NSColor.labelColor;
    if (c == Color::secondaryLabelColor())
        return NSColor.secondaryLabelColor;
    if (c == Color::systemGreenColor())
        return NSColor.systemGreenColor;
    if (c == Color::systemOrangeColor())
        return NSColor.systemOrangeColor;
    return [NSColor colorWithSRGBRed:c.red green:c.green blue:c.blue alpha:c.alpha];
}

NSFont* nsfont(const Font& f) {
    const NSFontWeight weight = f.weight == FontWeight::semibold ? NSFontWeightSemibold
                                : f.weight == FontWeight::medium ? NSFontWeightMedium
                                                                 : NSFontWeightRegular;
    return [NSFont systemFontOfSize:f.pointSize weight:weight];
}

} // namespace

TextField::TextField(const std::string& text, bool wrapping)
    : View(wrapping ? [NSTextField wrappingLabelWithString:ns(text)]
                    : [NSTextField labelWithString:ns(text)]) {
    d().wrapping = wrapping;
    d().font = Font::systemFontOfSize(NSFont.systemFontSize);
}

std::shared_ptr<TextField> TextField::labelWithString(const std::string& text) {
    return std::shared_ptr<TextField>(new TextField(text, false));
}

std::shared_ptr<TextField> TextField::wrappingLabelWithString(const std::string& text) {
    return std::shared_ptr<TextField>(new TextField(text, true));
}

static NSTextField* field(NSView* view) {
    return static_cast<NSTextField*>(view);
}

std::string TextField::stringValue() const {
    return utf8(field(widget()).stringValue);
}
void TextField::setStringValue(const std::string& text) {
    field(widget()).stringValue = ns(text);
}
Font TextField::font() const {
    // As AppKit has it: the size, and the weight the font's traits give, to the nearest of ours.
    NSFont* font = field(widget()).font;
    NSDictionary* traits = [font.fontDescriptor objectForKey:NSFontTraitsAttribute];
    const double weight = [traits[NSFontWeightTrait] doubleValue];
    const FontWeight nearest =
        weight >= (NSFontWeightMedium + NSFontWeightSemibold) / 2  ? FontWeight::semibold
        : weight >= (NSFontWeightRegular + NSFontWeightMedium) / 2 ? FontWeight::medium
                                                                   : FontWeight::regular;
    return {font.pointSize, nearest};
}
void TextField::setFont(const Font& font) {
    field(widget()).font = nsfont(font);
}
Color TextField::textColor() const {
    NSColor* color = field(widget()).textColor;
    for (const Color& named : {Color::labelColor(), Color::secondaryLabelColor(),
                               Color::systemGreenColor(), Color::systemOrangeColor()})
        if ([color isEqual:nscolor(named)])
            return named;
    NSColor* rgb = [color colorUsingColorSpace:NSColorSpace.sRGBColorSpace];
    return rgb == nil
               ? Color{}
               : Color{rgb.redComponent, rgb.greenComponent, rgb.blueComponent, rgb.alphaComponent};
}
void TextField::setTextColor(const Color& color) {
    field(widget()).textColor = nscolor(color);
}
void TextField::setPreferredMaxLayoutWidth(double width) {
    d().preferredMaxLayoutWidth = width;
    field(widget()).preferredMaxLayoutWidth = width;
}
void TextField::setLineBreakMode(LineBreakMode mode) {
    field(widget()).lineBreakMode = static_cast<NSLineBreakMode>(mode);
}
LineBreakMode TextField::lineBreakMode() const {
    return static_cast<LineBreakMode>(field(widget()).lineBreakMode);
}
bool TextField::isWrapping() const {
    return field(widget()).cell.wraps;
}
bool TextField::isSelectable() const {
    return field(widget()).selectable;
}
bool TextField::isTruncated() const {
    // AppKit offers an expansion frame (the tooltip that shows the whole text) exactly when the
    // text does not fit.
    NSTextField* label = field(widget());
    return !NSIsEmptyRect([label.cell expansionFrameWithFrame:label.bounds inView:label]);
}

} // namespace platform
