// The part of AppKit the host application uses: the application and its delegate, a window,
// views laid out by stack views and constraints, labels, buttons, a separator box, a table in a
// scroll view, fonts and colours. Sizes are in points. On Linux these are Qt widgets (one point
// is one device-independent pixel, as on a Mac); on macOS the AppKit classes of the same names.
#pragma once

#include "platform/AppKit.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

// What stands behind a view on screen: an NSView on macOS, a Qt widget on Linux.
#if defined(__APPLE__)
#if defined(__OBJC__)
@class NSView;
@class NSWindow;
#else
struct objc_object;
#endif
#else
class QWidget;
#endif

namespace platform {

#if defined(__APPLE__)
#if defined(__OBJC__)
using NativeView = NSView*;
using NativeWindow = NSWindow*;
#else
using NativeView = objc_object*;
using NativeWindow = objc_object*;
#endif
#else
using NativeView = QWidget*;
using NativeWindow = QWidget*;
#endif

struct Rect {
    double x = 0, y = 0, width = 0, height = 0;
};
struct EdgeInsets {
    double top = 0, left = 0, bottom = 0, right = 0;
};

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

enum class LayoutAttribute { leading, trailing, top, bottom, width, height, centerY };
enum class Relation { equal, greaterThanOrEqual };

class View;

// One linear relation between two views' attributes: first = second + constant (or >=).
struct LayoutConstraint {
    View* first = nullptr;
    LayoutAttribute firstAttribute{};
    Relation relation = Relation::equal;
    View* second = nullptr; // none: first compared with the constant alone
    LayoutAttribute secondAttribute{};
    double constant = 0;

    static void activateConstraints(const std::vector<LayoutConstraint>& constraints);
};

// An anchor of a view, to make constraints the way AppKit writes them.
struct LayoutAnchor {
    View* view;
    LayoutAttribute attribute;
    LayoutConstraint constraintEqualToAnchor(const LayoutAnchor& other, double constant = 0) const {
        return {view, attribute, Relation::equal, other.view, other.attribute, constant};
    }
    LayoutConstraint constraintGreaterThanOrEqualToConstant(double constant) const {
        return {view, attribute, Relation::greaterThanOrEqual, nullptr, attribute, constant};
    }
};

class View {
public:
    explicit View(Rect frame = {});
    virtual ~View();
    View(const View&) = delete;
    View& operator=(const View&) = delete;

    // A view takes ownership of its subviews, as its container.
    void addSubview(std::shared_ptr<View> view);
    const std::vector<std::shared_ptr<View>>& subviews() const { return subviews_; }
    void setTranslatesAutoresizingMaskIntoConstraints(bool translates);
    Rect frame() const;
    bool isHidden() const;

    LayoutAnchor leadingAnchor() { return {this, LayoutAttribute::leading}; }
    LayoutAnchor trailingAnchor() { return {this, LayoutAttribute::trailing}; }
    LayoutAnchor topAnchor() { return {this, LayoutAttribute::top}; }
    LayoutAnchor bottomAnchor() { return {this, LayoutAttribute::bottom}; }
    LayoutAnchor widthAnchor() { return {this, LayoutAttribute::width}; }
    LayoutAnchor heightAnchor() { return {this, LayoutAttribute::height}; }
    LayoutAnchor centerYAnchor() { return {this, LayoutAttribute::centerY}; }

    NativeView widget() const { return widget_; }
    struct Private;
    Private& d() const { return *d_; }

protected:
    explicit View(NativeView widget);

private:
    NativeView widget_;
    std::unique_ptr<Private> d_;
    std::vector<std::shared_ptr<View>> subviews_;
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

enum class BezelStyle { rounded = 1 };

class Button : public View {
public:
    static std::shared_ptr<Button> buttonWithTitle(const std::string& title, Object* target,
                                                   Selector action);
    std::string title() const;
    Object* target() const { return target_; }
    const Selector& action() const { return action_; }
    void setBezelStyle(BezelStyle style);
    BezelStyle bezelStyle() const;
    void performClick(); // presses the real button

private:
    Button(const std::string& title, Object* target, Selector action);
    Object* target_;
    Selector action_;
    [[maybe_unused]] BezelStyle bezelStyle_ = BezelStyle::rounded; // where the system keeps none
};

enum class BoxType { primary = 0, separator = 2 };
class Box : public View {
public:
    Box();
    void setBoxType(BoxType type);
    BoxType boxType() const { return type_; }

private:
    BoxType type_ = BoxType::primary;
};

enum class Orientation { horizontal = 0, vertical = 1 };
enum class StackAlignment { leading = 5 };

class StackView : public View {
public:
    static std::shared_ptr<StackView> stackViewWithViews(std::vector<std::shared_ptr<View>> views);
    void setOrientation(Orientation orientation);
    void setAlignment(StackAlignment alignment);
    void setSpacing(double spacing);
    void setEdgeInsets(EdgeInsets insets);
    void setCustomSpacing(double spacing, View* afterView);
    const std::vector<std::shared_ptr<View>>& arrangedSubviews() const { return arranged_; }

private:
    explicit StackView(std::vector<std::shared_ptr<View>> views);
    void relayout();
    friend struct LayoutConstraint;
    std::vector<std::shared_ptr<View>> arranged_;
    Orientation orientation_ = Orientation::horizontal;
    double spacing_ = 8;
    EdgeInsets insets_;
    std::vector<std::pair<View*, double>> custom_;
};

class TableCellView : public View {
public:
    TableCellView();
};

class TableView;

// A column. Once added, its title is the table's (what the table shows, and where a change goes);
// its width is the one asked for, which reaches the table too (AppKit may then share the table's
// spare width out among the columns as it lays them out).
class TableColumn {
public:
    explicit TableColumn(std::string identifier) : identifier_(std::move(identifier)) {}
    const std::string& identifier() const { return identifier_; }
    std::string title() const;
    void setTitle(std::string title);
    double width() const;
    void setWidth(double width);

private:
    friend class TableView;
    std::string identifier_;
    std::string title_;
    double width_ = 100;
    TableView* table_ = nullptr;
};

class TableViewDataSource {
public:
    virtual ~TableViewDataSource() = default;
    virtual long numberOfRows(TableView& table) = 0;
};
class TableViewDelegate {
public:
    virtual ~TableViewDelegate() = default;
    virtual std::shared_ptr<View> tableView(TableView& table, const TableColumn* column,
                                            long row) = 0;
};

class TableView : public View {
public:
    TableView();
    ~TableView() override;
    void setDataSource(TableViewDataSource* source) { dataSource_ = source; }
    void setDelegate(TableViewDelegate* delegate) { delegate_ = delegate; }
    void setHeaderView(bool standardHeader); // the table's standard header view, or none
    bool hasHeaderView() const;
    void setUsesAlternatingRowBackgroundColors(bool alternating);
    bool usesAlternatingRowBackgroundColors() const;
    void setRowHeight(double height);
    double rowHeight() const { return rowHeight_; }
    void setAllowsEmptySelection(bool allows);
    bool allowsEmptySelection() const;
    void addTableColumn(std::shared_ptr<TableColumn> column);
    // Moves a column on the screen, as the user does by dragging its header; the columns keep
    // their order in tableColumns().
    void moveColumn(std::size_t from, std::size_t to);
    const std::vector<std::shared_ptr<TableColumn>>& tableColumns() const { return columns_; }
    // The column with this identifier, wherever it is shown; none when there is no such column.
    const TableColumn* tableColumnWithIdentifier(const std::string& identifier) const;
    // Asks the data source for the number of rows now; the cells are asked of the delegate
    // when the table is next laid out (or when a cell is looked up), as AppKit does.
    void reloadData();
    long numberOfRows() const;
    // The cell view the delegate made for a place since the last reload, or none. `column` counts
    // the columns in the order they were added, whatever order the user has dragged them into.
    View* viewAtColumn(std::size_t column, long row);

private:
    friend class TableColumn;
    // The title of an added column, as the table has it; its title and width set anew.
    std::string titleOf(const TableColumn& column) const;
    void setTitleOf(const TableColumn& column, const std::string& title);
    void setWidthOf(const TableColumn& column, double width);
    void makeCells();
    long rows_ = 0;
    bool cellsStale_ = false;
    bool allowsEmptySelection_ = true;
    TableViewDataSource* dataSource_ = nullptr;
    TableViewDelegate* delegate_ = nullptr;
    std::vector<std::shared_ptr<TableColumn>> columns_;
    std::vector<std::vector<std::shared_ptr<View>>> cells_;
    double rowHeight_ = 17;
};

enum class BorderType { none = 0, bezel = 2 };
class ScrollView : public View {
public:
    ScrollView();
    void setDocumentView(std::shared_ptr<TableView> table);
    void setHasVerticalScroller(bool has);
    bool hasVerticalScroller() const;
    void setBorderType(BorderType type);
    BorderType borderType() const;

private:
    std::shared_ptr<TableView> document_;
    [[maybe_unused]] BorderType border_ = BorderType::none; // where the system keeps none
};

enum WindowStyle : unsigned { titled = 1, closable = 2, miniaturizable = 4, resizable = 8 };
enum class BackingStore { buffered = 2 };

class Window {
public:
    Window(Rect contentRect, unsigned styleMask, BackingStore backing, bool defer);
    ~Window();
    void setTitle(const std::string& title);
    std::string title() const;
    void center();
    void setContentView(std::shared_ptr<View> view);
    View* contentView() const { return content_.get(); }
    void makeKeyAndOrderFront(Object* sender);
    unsigned styleMask() const;
    bool isVisible() const;
    // Whether keyboard focus is in a text field (whose text a key press would then replace).
    bool firstResponderIsTextField() const;
    NativeWindow widget() const;
    struct Private;

private:
    std::unique_ptr<Private> d_;
    std::shared_ptr<View> content_;
    [[maybe_unused]] unsigned styleMask_; // as made, where the system keeps none
};

class ApplicationDelegate {
public:
    virtual ~ApplicationDelegate() = default;
    virtual void applicationDidFinishLaunching() {}
    virtual void applicationDidBecomeActive() {}
    virtual bool applicationShouldTerminateAfterLastWindowClosed() { return false; }
};

enum class ActivationPolicy { regular = 0, accessory = 1, prohibited = 2 };

class Application {
public:
    static Application& sharedApplication();
    void setDelegate(ApplicationDelegate* delegate) { delegate_ = delegate; }
    ApplicationDelegate* delegate() const { return delegate_; }
    void setActivationPolicy(ActivationPolicy policy) { policy_ = policy; }
    ActivationPolicy activationPolicy() const { return policy_; }
    // Finishes launching (the delegate hears of it), then runs the event loop until the
    // application terminates.
    void run();
    // Takes the activation policy and finishes launching, without running the event loop: for a
    // program that turns the loop itself (a test).
    void finishLaunching();
    void activateIgnoringOtherApps(bool ignoringOtherApps);
    bool isActive() const { return active_; }
    // The system tells the application it became active or inactive (another application was
    // brought to the front, or the user came back); the delegate hears of each activation.
    void handleActivation(bool active);
    void terminate();
    // One turn of the event loop: the events and jobs waiting now are handled, and the windows
    // are laid out, so that frames and cells are current. Returns at once.
    void runLoopOnce();

private:
    Application();
    ApplicationDelegate* delegate_ = nullptr;
    ActivationPolicy policy_ = ActivationPolicy::prohibited;
    bool active_ = false;
};

} // namespace platform
