// Labels on Qt 6 Widgets: a text field is a QLabel, plain text with the inset of AppKit's label
// cell. A wrapping label is selectable and is as wide as its text on one line, up to its preferred
// maximum width, and as high as the wrapped text needs there; a label that truncates in the middle
// draws its text elided itself, since QLabel only cuts it off. Points are pixels, so a font's point
// size is its pixel size.
#include "platform/AppKitViews/NSTextField.h"
#include "Views.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QPainter>

namespace platform {

using qt::px;
using qt::qs;
using qt::ss;

namespace {

QColor qcolor(const Color& c) {
    return QColor::fromRgbF(float(c.red), float(c.green), float(c.blue), float(c.alpha));
}

// A label that draws its text shortened in the middle when it does not fit.
class Label : public QLabel {
public:
    using QLabel::QLabel;
    LineBreakMode mode = LineBreakMode::byWordWrapping;
    QString displayed() const {
        if (mode != LineBreakMode::byTruncatingMiddle)
            return text();
        return fontMetrics().elidedText(text(), Qt::ElideMiddle, contentsRect().width());
    }
    QSize minimumSizeHint() const override {
        if (mode == LineBreakMode::byTruncatingMiddle)
            return {0, QLabel::minimumSizeHint().height()};
        return QLabel::minimumSizeHint();
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        if (mode != LineBreakMode::byTruncatingMiddle) {
            QLabel::paintEvent(event);
            return;
        }
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.setFont(font());
        painter.drawText(contentsRect(), int(alignment()), displayed());
    }
};

} // namespace

TextField::TextField(const std::string& text, bool wrapping) : View(new Label) {
    auto* label = static_cast<Label*>(widget());
    d().wrapping = wrapping;
    label->setText(qs(text));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(wrapping);
    label->setTextInteractionFlags(wrapping ? Qt::TextSelectableByMouse : Qt::NoTextInteraction);
    label->setContentsMargins(2, 0, 2, 0); // the text inset of a label cell
    setFont(Font::systemFontOfSize(13));
    setTextColor(Color::labelColor());
}

std::shared_ptr<TextField> TextField::labelWithString(const std::string& text) {
    return std::shared_ptr<TextField>(new TextField(text, false));
}

std::shared_ptr<TextField> TextField::wrappingLabelWithString(const std::string& text) {
    return std::shared_ptr<TextField>(new TextField(text, true));
}

namespace {
// A wrapping label is as wide as its text on one line, up to its preferred maximum width, and
// as high as the wrapped text needs at that width.
void fitWrappingLabel(QLabel* label, double maxWidth) {
    const QMargins m = label->contentsMargins();
    const int natural =
        label->fontMetrics().horizontalAdvance(label->text()) + m.left() + m.right();
    const int width = maxWidth > 0 ? std::min(natural, px(maxWidth)) : natural;
    label->setFixedWidth(width);
    label->setFixedHeight(label->heightForWidth(width));
}
} // namespace

std::string TextField::stringValue() const {
    return ss(static_cast<QLabel*>(widget())->text());
}

void TextField::setStringValue(const std::string& text) {
    auto* label = static_cast<QLabel*>(widget());
    label->setText(qs(text));
    if (d().wrapping)
        fitWrappingLabel(label, d().preferredMaxLayoutWidth);
}

Font TextField::font() const {
    return d().font;
}

void TextField::setFont(const Font& font) {
    d().font = font;
    QFont qfont = QApplication::font();
    qfont.setPixelSize(px(font.pointSize));
    qfont.setWeight(font.weight == FontWeight::semibold ? QFont::DemiBold
                    : font.weight == FontWeight::medium ? QFont::Medium
                                                        : QFont::Normal);
    widget()->setFont(qfont);
    if (d().wrapping)
        fitWrappingLabel(static_cast<QLabel*>(widget()), d().preferredMaxLayoutWidth);
}

Color TextField::textColor() const {
    return d().textColor;
}

void TextField::setTextColor(const Color& color) {
    d().textColor = color;
    QPalette palette = widget()->palette();
    palette.setColor(QPalette::WindowText, qcolor(color));
    palette.setColor(QPalette::Text, qcolor(color));
    widget()->setPalette(palette);
}

void TextField::setPreferredMaxLayoutWidth(double width) {
    d().preferredMaxLayoutWidth = width;
    if (d().wrapping)
        fitWrappingLabel(static_cast<QLabel*>(widget()), width);
}

void TextField::setLineBreakMode(LineBreakMode mode) {
    auto* label = static_cast<Label*>(widget());
    label->mode = mode;
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    label->update();
}

LineBreakMode TextField::lineBreakMode() const {
    return static_cast<Label*>(widget())->mode;
}

bool TextField::isWrapping() const {
    return static_cast<QLabel*>(widget())->wordWrap();
}

bool TextField::isSelectable() const {
    return static_cast<QLabel*>(widget())->textInteractionFlags() & Qt::TextSelectableByMouse;
}

bool TextField::isTruncated() const {
    const auto* label = static_cast<Label*>(widget());
    return label->displayed() != label->text();
}

} // namespace platform
