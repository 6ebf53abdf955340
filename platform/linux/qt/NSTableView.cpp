// The AppKit views on Qt 6 Widgets. Stack views become box layouts, and the constraint patterns
// the application uses become Qt layout rules: a view pinned to the four edges of its superview
// fills it (a layout with those margins), a view pinned left and right and centred vertically is
// laid out in a row with those margins, "width = other's width + c" follows the other view as
// it resizes, and "height >= c" is a minimum height.
#include "platform/AppKitViews.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QBoxLayout>
#include <QEvent>
#include <QFontMetrics>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTableWidget>
#include <QTimer>

#include <cmath>
#include <functional>
#include <map>
#include <stdexcept>

namespace platform {

namespace {

QString qs(const std::string& s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}
std::string ss(const QString& s) {
    return s.toUtf8().toStdString();
}
int px(double points) {
    return static_cast<int>(std::lround(points));
}

QColor qcolor(const Color& c) {
    return QColor::fromRgbF(float(c.red), float(c.green), float(c.blue), float(c.alpha));
}

// Runs a callback whenever the watched widget is resized.
class ResizeWatcher : public QObject {
public:
    ResizeWatcher(QWidget* watched, std::function<void()> onResize)
        : QObject(watched), onResize_(std::move(onResize)) {
        watched->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Resize)
            onResize_();
        return false;
    }

private:
    std::function<void()> onResize_;
};

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

// ---- views ----
struct View::Private {
    QPointer<QWidget> widget;
    Font font;
    Color textColor = Color::labelColor();
    double preferredMaxLayoutWidth = 0;
    bool wrapping = false;
    bool fillsAcross = false; // as wide as the inner width of the stack view it is arranged in
};

View::View(Rect frame) : View(new QWidget) {
    widget_->setGeometry(px(frame.x), px(frame.y), px(frame.width), px(frame.height));
}

View::View(QWidget* widget) : widget_(widget), d_(std::make_unique<Private>()) {
    d_->widget = widget;
}

View::~View() {
    subviews_.clear(); // children first, while their parent still stands
    if (d_->widget)
        delete d_->widget.data();
}

void View::addSubview(std::shared_ptr<View> view) {
    view->widget()->setParent(widget_);
    view->widget()->show();
    subviews_.push_back(std::move(view));
}

void View::setTranslatesAutoresizingMaskIntoConstraints(bool) {
    // Qt widgets never turn their geometry into constraints; nothing to switch off.
}

Rect View::frame() const {
    const QRect g = widget_->geometry();
    return {double(g.x()), double(g.y()), double(g.width()), double(g.height())};
}

bool View::isHidden() const {
    return widget_->isHidden();
}

// ---- constraints ----
namespace {

struct Pins {
    std::optional<double> leading, trailing, top, bottom, centerY;
};

} // namespace

void LayoutConstraint::activateConstraints(const std::vector<LayoutConstraint>& constraints) {
    std::map<View*, Pins> pinned; // views pinned to their superview
    for (const auto& c : constraints) {
        QWidget* first = c.first->widget();
        if (c.second == nullptr) {
            if (c.firstAttribute == LayoutAttribute::height &&
                c.relation == Relation::greaterThanOrEqual) {
                first->setMinimumHeight(px(c.constant));
                continue;
            }
            throw std::invalid_argument("unsupported constraint to a constant");
        }
        QWidget* second = c.second->widget();
        if (c.firstAttribute == LayoutAttribute::width &&
            c.secondAttribute == LayoutAttribute::width && c.relation == Relation::equal) {
            // As wide as the inside of the stack view it stands in: let the stack stretch it.
            auto* stack = dynamic_cast<StackView*>(c.second);
            const QLayout* stackLayout = stack != nullptr ? second->layout() : nullptr;
            if (stackLayout != nullptr && first->parentWidget() == second &&
                px(-c.constant) == stackLayout->contentsMargins().left() +
                                       stackLayout->contentsMargins().right()) {
                c.first->d().fillsAcross = true;
                stack->relayout();
                continue;
            }
            const double constant = c.constant;
            QPointer<QWidget> target = first;
            auto apply = [target, second, constant] {
                if (target)
                    target->setFixedWidth(std::max(0, second->width() + px(constant)));
            };
            new ResizeWatcher(second, apply);
            apply();
            continue;
        }
        if (c.relation != Relation::equal || first->parentWidget() != second ||
            c.firstAttribute != c.secondAttribute)
            throw std::invalid_argument("unsupported constraint");
        Pins& pins = pinned[c.first];
        switch (c.firstAttribute) {
        case LayoutAttribute::leading:
            pins.leading = c.constant;
            break;
        case LayoutAttribute::trailing:
            pins.trailing = -c.constant;
            break;
        case LayoutAttribute::top:
            pins.top = c.constant;
            break;
        case LayoutAttribute::bottom:
            pins.bottom = -c.constant;
            break;
        case LayoutAttribute::centerY:
            pins.centerY = c.constant;
            break;
        default:
            throw std::invalid_argument("unsupported constraint");
        }
    }
    for (const auto& [view, pins] : pinned) {
        QWidget* child = view->widget();
        QWidget* parent = child->parentWidget();
        if (parent->layout() != nullptr)
            throw std::invalid_argument("superview is already laid out");
        if (pins.leading && pins.trailing && pins.top && pins.bottom) {
            auto* layout = new QVBoxLayout(parent);
            layout->setContentsMargins(px(*pins.leading), px(*pins.top), px(*pins.trailing),
                                       px(*pins.bottom));
            layout->setSpacing(0);
            layout->addWidget(child);
        } else if (pins.leading && pins.trailing && pins.centerY && *pins.centerY == 0) {
            auto* layout = new QHBoxLayout(parent);
            layout->setContentsMargins(px(*pins.leading), 0, px(*pins.trailing), 0);
            layout->setSpacing(0);
            layout->addWidget(child, 1, Qt::AlignVCenter);
        } else {
            throw std::invalid_argument("unsupported set of edge constraints");
        }
    }
}

// ---- labels ----
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

// ---- buttons and boxes ----
Button::Button(const std::string& title, Object* target, Selector action)
    : View(new QPushButton(qs(title))), target_(target), action_(std::move(action)) {
    QObject::connect(static_cast<QPushButton*>(widget()), &QPushButton::clicked, [this] {
        if (target_ != nullptr)
            target_->perform(action_, nullptr);
    });
}

std::shared_ptr<Button> Button::buttonWithTitle(const std::string& title, Object* target,
                                                Selector action) {
    return std::shared_ptr<Button>(new Button(title, target, std::move(action)));
}

std::string Button::title() const {
    return ss(static_cast<QPushButton*>(widget())->text());
}

void Button::performClick() {
    static_cast<QPushButton*>(widget())->click();
}

// Qt's push button has one look; the style is kept for what asks.
void Button::setBezelStyle(BezelStyle style) {
    bezelStyle_ = style;
}
BezelStyle Button::bezelStyle() const {
    return bezelStyle_;
}

Box::Box() : View(new QFrame) {}

void Box::setBoxType(BoxType type) {
    type_ = type;
    auto* frame = static_cast<QFrame*>(widget());
    if (type == BoxType::separator) {
        frame->setFrameShape(QFrame::HLine);
        frame->setFrameShadow(QFrame::Sunken);
        frame->setFixedHeight(1);
    } else {
        frame->setFrameShape(QFrame::StyledPanel);
    }
}

// ---- stack views ----
StackView::StackView(std::vector<std::shared_ptr<View>> views) : View(new QWidget) {
    for (const auto& view : views)
        addSubview(view);
    arranged_ = std::move(views);
    relayout();
}

std::shared_ptr<StackView> StackView::stackViewWithViews(std::vector<std::shared_ptr<View>> views) {
    return std::shared_ptr<StackView>(new StackView(std::move(views)));
}

void StackView::setOrientation(Orientation orientation) {
    orientation_ = orientation;
    relayout();
}
void StackView::setAlignment(StackAlignment) {
    relayout();
} // leading is the only one used
void StackView::setSpacing(double spacing) {
    spacing_ = spacing;
    relayout();
}
void StackView::setEdgeInsets(EdgeInsets insets) {
    insets_ = insets;
    relayout();
}
void StackView::setCustomSpacing(double spacing, View* afterView) {
    for (auto& entry : custom_)
        if (entry.first == afterView) {
            entry.second = spacing;
            relayout();
            return;
        }
    custom_.emplace_back(afterView, spacing);
    relayout();
}

void StackView::relayout() {
    // Layouts cannot change direction: make a new one with explicit gaps between the views.
    delete widget()->layout();
    auto* layout = new QBoxLayout(orientation_ == Orientation::vertical ? QBoxLayout::TopToBottom
                                                                        : QBoxLayout::LeftToRight,
                                  widget());
    layout->setSpacing(0);
    layout->setContentsMargins(px(insets_.left), px(insets_.top), px(insets_.right),
                               px(insets_.bottom));
    const Qt::Alignment along =
        orientation_ == Orientation::vertical ? Qt::AlignLeft : Qt::Alignment();
    View* previous = nullptr;
    for (const auto& view : arranged_) {
        if (previous != nullptr) {
            double gap = spacing_;
            for (const auto& [after, spacing] : custom_)
                if (after == previous)
                    gap = spacing;
            layout->addSpacing(px(gap));
        }
        const bool grows = dynamic_cast<ScrollView*>(view.get()) != nullptr;
        layout->addWidget(view->widget(), grows ? 1 : 0,
                          view->d().fillsAcross ? Qt::Alignment() : along);
        previous = view.get();
    }
}

// ---- tables ----
TableCellView::TableCellView() : View(new QWidget) {}

TableView::TableView() : View(new QTableWidget) {
    auto* table = static_cast<QTableWidget*>(widget());
    table->setFrameShape(QFrame::NoFrame);
    table->setShowGrid(false);
    table->verticalHeader()->hide();
    table->horizontalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(false);
    table->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // As in AppKit, the user may drag the columns into another order; a cell stays with its
    // column (Qt moves only the column's place on the screen).
    table->horizontalHeader()->setSectionsMovable(true);
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setFocusPolicy(Qt::NoFocus);
    table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setRowHeight(rowHeight_);
}

void TableView::setHeaderView(bool standardHeader) {
    static_cast<QTableWidget*>(widget())->horizontalHeader()->setVisible(standardHeader);
}

bool TableView::hasHeaderView() const {
    return !static_cast<QTableWidget*>(widget())->horizontalHeader()->isHidden();
}

void TableView::setUsesAlternatingRowBackgroundColors(bool alternating) {
    static_cast<QTableWidget*>(widget())->setAlternatingRowColors(alternating);
}

bool TableView::usesAlternatingRowBackgroundColors() const {
    return static_cast<QTableWidget*>(widget())->alternatingRowColors();
}

void TableView::setRowHeight(double height) {
    rowHeight_ = height;
    auto* header = static_cast<QTableWidget*>(widget())->verticalHeader();
    header->setMinimumSectionSize(1);
    header->setDefaultSectionSize(px(height));
}

void TableView::setAllowsEmptySelection(bool allows) {
    // Qt's single selection may always be empty; a table that must keep a row selected selects
    // the first one when it fills (makeCells).
    allowsEmptySelection_ = allows;
    static_cast<QTableWidget*>(widget())->clearSelection();
}

bool TableView::allowsEmptySelection() const {
    return allowsEmptySelection_;
}

void TableView::addTableColumn(std::shared_ptr<TableColumn> column) {
    auto* table = static_cast<QTableWidget*>(widget());
    const int index = table->columnCount();
    table->setColumnCount(index + 1);
    table->setHorizontalHeaderItem(index, new QTableWidgetItem(qs(column->title())));
    table->setColumnWidth(index, px(column->width()));
    column->table_ = this;
    columns_.push_back(std::move(column));
}

namespace {
// The column's logical index: the order in which the columns were added.
int indexOf(const std::vector<std::shared_ptr<TableColumn>>& columns, const TableColumn& column) {
    for (std::size_t i = 0; i < columns.size(); ++i)
        if (columns[i].get() == &column)
            return int(i);
    return -1;
}
} // namespace

std::string TableView::titleOf(const TableColumn& column) const {
    const auto* item =
        static_cast<QTableWidget*>(widget())->horizontalHeaderItem(indexOf(columns_, column));
    return item != nullptr ? ss(item->text()) : std::string();
}
void TableView::setTitleOf(const TableColumn& column, const std::string& title) {
    if (auto* item =
            static_cast<QTableWidget*>(widget())->horizontalHeaderItem(indexOf(columns_, column)))
        item->setText(qs(title));
}
void TableView::setWidthOf(const TableColumn& column, double width) {
    static_cast<QTableWidget*>(widget())->setColumnWidth(indexOf(columns_, column), px(width));
}

void TableView::moveColumn(std::size_t from, std::size_t to) {
    auto* header = static_cast<QTableWidget*>(widget())->horizontalHeader();
    header->moveSection(header->visualIndex(int(from)), int(to));
}

void TableView::reloadData() {
    rows_ = dataSource_ != nullptr ? dataSource_->numberOfRows(*this) : 0;
    if (!cellsStale_)
        QTimer::singleShot(0, widget(), [this] { makeCells(); });
    cellsStale_ = true;
}

// The table's layout pass after a reload: the old cells go, and the delegate makes new ones.
void TableView::makeCells() {
    if (!cellsStale_)
        return;
    cellsStale_ = false;
    auto* table = static_cast<QTableWidget*>(widget());
    // The table lets go of the old cell views first (it only schedules their deletion), then
    // they go with their View objects.
    table->setRowCount(0);
    cells_.clear();
    table->setRowCount(int(rows_));
    cells_.assign(std::size_t(rows_), {});
    for (long row = 0; row < rows_; ++row) {
        for (std::size_t column = 0; column < columns_.size(); ++column) {
            std::shared_ptr<View> cell =
                delegate_ != nullptr ? delegate_->tableView(*this, columns_[column].get(), row)
                                     : nullptr;
            if (cell)
                table->setCellWidget(int(row), int(column), cell->widget());
            cells_[std::size_t(row)].push_back(std::move(cell));
        }
    }
    if (!allowsEmptySelection_ && rows_ > 0)
        table->selectRow(0);
}

long TableView::numberOfRows() const {
    return rows_;
}

View* TableView::viewAtColumn(std::size_t column, long row) {
    makeCells();
    if (row < 0 || std::size_t(row) >= cells_.size() || column >= cells_[std::size_t(row)].size())
        return nullptr;
    return cells_[std::size_t(row)][column].get();
}

ScrollView::ScrollView() : View(new QFrame) {
    auto* frame = static_cast<QFrame*>(widget());
    auto* layout = new QVBoxLayout(frame);
    layout->setContentsMargins(0, 0, 0, 0);
    frame->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
}

void ScrollView::setDocumentView(std::shared_ptr<TableView> table) {
    widget()->layout()->addWidget(table->widget());
    document_ = std::move(table);
}

void ScrollView::setHasVerticalScroller(bool has) {
    if (document_)
        static_cast<QTableWidget*>(document_->widget())
            ->setVerticalScrollBarPolicy(has ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
}

bool ScrollView::hasVerticalScroller() const {
    return document_ &&
           static_cast<QTableWidget*>(document_->widget())->verticalScrollBarPolicy() !=
               Qt::ScrollBarAlwaysOff;
}

BorderType ScrollView::borderType() const {
    return border_;
}

void ScrollView::setBorderType(BorderType type) {
    border_ = type;
    auto* frame = static_cast<QFrame*>(widget());
    frame->setFrameShape(type == BorderType::bezel ? QFrame::StyledPanel : QFrame::NoFrame);
    frame->setFrameShadow(QFrame::Sunken);
}

// ---- windows ----
namespace {
class WindowWidget : public QWidget {
public:
    WindowWidget() : QWidget(nullptr, Qt::Window) {}
};
} // namespace

struct Window::Private {
    QPointer<WindowWidget> widget;
    QSize contentSize;
};

Window::Window(Rect contentRect, unsigned styleMask, BackingStore, bool)
    : d_(std::make_unique<Private>()), styleMask_(styleMask) {
    d_->widget = new WindowWidget;
    d_->contentSize = QSize(px(contentRect.width), px(contentRect.height));
    d_->widget->resize(d_->contentSize);
    Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint;
    if (styleMask & WindowStyle::titled)
        flags |= Qt::WindowTitleHint;
    if (styleMask & WindowStyle::closable)
        flags |= Qt::WindowCloseButtonHint;
    if (styleMask & WindowStyle::miniaturizable)
        flags |= Qt::WindowMinimizeButtonHint;
    if (styleMask & WindowStyle::resizable)
        flags |= Qt::WindowMaximizeButtonHint;
    d_->widget->setWindowFlags(flags);
    if (!(styleMask & WindowStyle::resizable))
        d_->widget->setFixedSize(d_->contentSize);
}

Window::~Window() {
    content_.reset();
    if (d_->widget)
        delete d_->widget.data();
}

void Window::setTitle(const std::string& title) {
    d_->widget->setWindowTitle(qs(title));
}
std::string Window::title() const {
    return ss(d_->widget->windowTitle());
}

void Window::center() {
    const QScreen* screen =
        d_->widget->screen() ? d_->widget->screen() : QApplication::primaryScreen();
    if (screen == nullptr)
        return;
    QRect frame = d_->widget->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    d_->widget->move(frame.topLeft());
}

void Window::setContentView(std::shared_ptr<View> view) {
    delete d_->widget->layout();
    auto* layout = new QVBoxLayout(d_->widget);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view->widget());
    content_ = std::move(view);
    // The content keeps its size unless its constraints need more, as auto layout would do.
    const QSize needed = layout->minimumSize();
    const QSize size = d_->contentSize.expandedTo(needed);
    if (!(styleMask_ & WindowStyle::resizable))
        d_->widget->setFixedSize(size);
    else
        d_->widget->resize(size);
}

void Window::makeKeyAndOrderFront(Object*) {
    d_->widget->show();
    d_->widget->raise();
    d_->widget->activateWindow();
}

bool Window::isVisible() const {
    return d_->widget && d_->widget->isVisible();
}
unsigned Window::styleMask() const {
    return styleMask_;
}
bool Window::firstResponderIsTextField() const {
    const QWidget* focus = d_->widget ? d_->widget->focusWidget() : nullptr;
    return qobject_cast<const QLabel*>(focus) != nullptr ||
           qobject_cast<const QLineEdit*>(focus) != nullptr;
}
QWidget* Window::widget() const {
    return d_->widget;
}

} // namespace platform
