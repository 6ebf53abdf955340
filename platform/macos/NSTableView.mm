// The host application's side of the layer on AppKit: the C++ views wrap the AppKit views of the
// same names, constraints become NSLayoutConstraints, and small Objective-C objects carry
// AppKit's callbacks (application delegate, table data source and delegate, button actions) to
// the C++ objects, by selector name.
#include "Activation.h"
#include "ObjectProxy.h"
#include "Strings.h"
#include "platform/AppKitViews.h"

#import <AppKit/AppKit.h>

#include <map>

using platform::macos::ns;
using platform::macos::utf8;

using platform::Object;

@implementation LVObjectProxy {
    Object* _object;
}
- (instancetype)initWithObject:(Object*)object {
    self = [super init];
    if (self != nil)
        _object = object;
    return self;
}
- (BOOL)respondsToSelector:(SEL)selector {
    return _object->respondsTo(utf8(NSStringFromSelector(selector))) ||
           [super respondsToSelector:selector];
}
- (NSMethodSignature*)methodSignatureForSelector:(SEL)selector {
    if (!_object->respondsTo(utf8(NSStringFromSelector(selector))))
        return [super methodSignatureForSelector:selector];
    const bool takesSender = [NSStringFromSelector(selector) hasSuffix:@":"];
    return [NSMethodSignature signatureWithObjCTypes:takesSender ? "v@:@" : "v@:"];
}
- (void)perform:(const char*)selector sender:(id)sender {
    (void)sender;
    _object->perform(selector, nullptr);
}
- (void)forwardInvocation:(NSInvocation*)invocation {
    const std::string name = utf8(NSStringFromSelector(invocation.selector));
    if (!_object->perform(name, nullptr))
        [super forwardInvocation:invocation];
}
@end

namespace {
// One proxy per C++ object, for as long as the process runs (targets are not owned by AppKit).
LVObjectProxy* proxyFor(Object* object) {
    static std::map<Object*, LVObjectProxy*> proxies;
    auto it = proxies.find(object);
    if (it == proxies.end())
        it = proxies.emplace(object, [[LVObjectProxy alloc] initWithObject:object]).first;
    return it->second;
}
} // namespace

@interface LVApplicationDelegate : NSObject <NSApplicationDelegate>
@end

@implementation LVApplicationDelegate
- (void)applicationDidFinishLaunching:(NSNotification*)notification {
    (void)notification;
    if (auto* delegate = platform::Application::sharedApplication().delegate())
        delegate->applicationDidFinishLaunching();
}
- (void)applicationDidBecomeActive:(NSNotification*)notification {
    (void)notification;
    platform::Application::sharedApplication().handleActivation(true);
}
- (void)applicationDidResignActive:(NSNotification*)notification {
    (void)notification;
    platform::Application::sharedApplication().handleActivation(false);
}
// Window restoration encodes securely (macOS 14 logs a warning at every start otherwise).
- (BOOL)applicationSupportsSecureRestorableState:(NSApplication*)application {
    (void)application;
    return YES;
}
- (BOOL)applicationShouldTerminateAfterLastWindowClosed:(NSApplication*)sender {
    (void)sender;
    auto* delegate = platform::Application::sharedApplication().delegate();
    return delegate != nullptr && delegate->applicationShouldTerminateAfterLastWindowClosed();
}
@end

@interface LVTableBridge : NSObject <NSTableViewDataSource, NSTableViewDelegate>
- (instancetype)initWithTable:(platform::TableView*)table;
@property(nonatomic) platform::TableViewDataSource* dataSource;
@property(nonatomic) platform::TableViewDelegate* delegate;
- (platform::View*)cellFor:(NSView*)view;
- (void)forgetCells;
@end

@implementation LVTableBridge {
    platform::TableView* _table;
    std::map<void*, std::shared_ptr<platform::View>> _cells; // the C++ side of each cell made
}
- (instancetype)initWithTable:(platform::TableView*)table {
    self = [super init];
    if (self != nil)
        _table = table;
    return self;
}
- (NSInteger)numberOfRowsInTableView:(NSTableView*)tableView {
    (void)tableView;
    return self.dataSource != nullptr ? self.dataSource->numberOfRows(*_table) : 0;
}
- (NSView*)tableView:(NSTableView*)tableView
    viewForTableColumn:(NSTableColumn*)tableColumn
                   row:(NSInteger)row {
    if (self.delegate == nullptr)
        return nil;
    (void)tableView;
    // By identifier: the user may drag the columns into another order (allowsColumnReordering is
    // YES by default), and the cell's content follows the column, not its position.
    const platform::TableColumn* column =
        tableColumn != nil ? _table->tableColumnWithIdentifier(utf8(tableColumn.identifier))
                           : nullptr;
    auto cell = self.delegate->tableView(*_table, column, row);
    if (!cell)
        return nil;
    NSView* view = cell->widget();
    _cells[(__bridge void*)view] = std::move(cell);
    return view;
}
- (platform::View*)cellFor:(NSView*)view {
    auto it = _cells.find((__bridge void*)view);
    return it == _cells.end() ? nullptr : it->second.get();
}
- (void)forgetCells {
    _cells.clear();
}
@end

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

NSLayoutAttribute nsattribute(LayoutAttribute a) {
    switch (a) {
    case LayoutAttribute::leading:
        return NSLayoutAttributeLeading;
    case LayoutAttribute::trailing:
        return NSLayoutAttributeTrailing;
    case LayoutAttribute::top:
        return NSLayoutAttributeTop;
    case LayoutAttribute::bottom:
        return NSLayoutAttributeBottom;
    case LayoutAttribute::width:
        return NSLayoutAttributeWidth;
    case LayoutAttribute::height:
        return NSLayoutAttributeHeight;
    case LayoutAttribute::centerY:
        return NSLayoutAttributeCenterY;
    }
    return NSLayoutAttributeNotAnAttribute;
}
} // namespace

struct View::Private {
    NSView* view = nil;
    Font font;
    Color textColor = Color::labelColor();
    double preferredMaxLayoutWidth = 0;
    bool wrapping = false;
    bool fillsAcross = false;
    id helper = nil;      // an Objective-C object the view keeps alive (a table's bridge)
    id savedHeader = nil; // a table's own header view while it is taken away
};

View::View(Rect frame)
    : View([[NSView alloc] initWithFrame:NSMakeRect(frame.x, frame.y, frame.width, frame.height)]) {
}

View::View(NativeView widget) : widget_(widget), d_(std::make_unique<Private>()) {
    d_->view = widget;
}

View::~View() {
    subviews_.clear();
}

void View::addSubview(std::shared_ptr<View> view) {
    [widget_ addSubview:view->widget()];
    subviews_.push_back(std::move(view));
}

void View::setTranslatesAutoresizingMaskIntoConstraints(bool translates) {
    widget_.translatesAutoresizingMaskIntoConstraints = translates;
}

Rect View::frame() const {
    // From the top left of the superview, as on every system: AppKit counts from the bottom left
    // unless the superview is flipped (a stack view is not).
    const NSRect f = widget_.frame;
    NSView* superview = widget_.superview;
    const double y = superview == nil || superview.flipped
                         ? f.origin.y
                         : superview.bounds.size.height - NSMaxY(f);
    return {f.origin.x, y, f.size.width, f.size.height};
}

bool View::isHidden() const {
    return widget_.hidden;
}

void LayoutConstraint::activateConstraints(const std::vector<LayoutConstraint>& constraints) {
    NSMutableArray<NSLayoutConstraint*>* list = [NSMutableArray array];
    for (const auto& c : constraints) {
        const NSLayoutRelation relation = c.relation == Relation::equal
                                              ? NSLayoutRelationEqual
                                              : NSLayoutRelationGreaterThanOrEqual;
        [list addObject:[NSLayoutConstraint
                            constraintWithItem:c.first->widget()
                                     attribute:nsattribute(c.firstAttribute)
                                     relatedBy:relation
                                        toItem:c.second != nullptr ? c.second->widget() : nil
                                     attribute:c.second != nullptr ? nsattribute(c.secondAttribute)
                                                                   : NSLayoutAttributeNotAnAttribute
                                    multiplier:1
                                      constant:c.constant]];
    }
    [NSLayoutConstraint activateConstraints:list];
}

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

Button::Button(const std::string& title, Object* target, Selector action)
    : View([NSButton buttonWithTitle:ns(title)
                              target:(target != nullptr ? proxyFor(target) : nil)
                              action:NSSelectorFromString(ns(action))]),
      target_(target), action_(std::move(action)) {}

std::shared_ptr<Button> Button::buttonWithTitle(const std::string& title, Object* target,
                                                Selector action) {
    auto button = std::shared_ptr<Button>(new Button(title, target, std::move(action)));
    static_cast<NSButton*>(button->widget()).bezelStyle = NSBezelStyleRounded;
    return button;
}

std::string Button::title() const {
    return utf8(static_cast<NSButton*>(widget()).title);
}
void Button::performClick() {
    [static_cast<NSButton*>(widget()) performClick:nil];
}
void Button::setBezelStyle(BezelStyle style) {
    static_cast<NSButton*>(widget()).bezelStyle = static_cast<NSBezelStyle>(style);
}
BezelStyle Button::bezelStyle() const {
    return static_cast<BezelStyle>(static_cast<NSButton*>(widget()).bezelStyle);
}

Box::Box() : View([[NSBox alloc] init]) {}
void Box::setBoxType(BoxType type) {
    type_ = type;
    static_cast<NSBox*>(widget()).boxType = static_cast<NSBoxType>(type);
}

static NSStackView* stack(NSView* view) {
    return static_cast<NSStackView*>(view);
}

StackView::StackView(std::vector<std::shared_ptr<View>> views)
    : View([NSStackView stackViewWithViews:@[]]) {
    for (const auto& view : views) {
        // Placed by constraints only: no header promises that the stack switches this off.
        view->widget().translatesAutoresizingMaskIntoConstraints = NO;
        [stack(widget()) addArrangedSubview:view->widget()];
    }
    arranged_ = std::move(views);
}

std::shared_ptr<StackView> StackView::stackViewWithViews(std::vector<std::shared_ptr<View>> views) {
    return std::shared_ptr<StackView>(new StackView(std::move(views)));
}

void StackView::setOrientation(Orientation orientation) {
    orientation_ = orientation;
    stack(widget()).orientation = static_cast<NSUserInterfaceLayoutOrientation>(orientation);
}
void StackView::setAlignment(StackAlignment alignment) {
    stack(widget()).alignment = static_cast<NSLayoutAttribute>(alignment);
}
void StackView::setSpacing(double spacing) {
    spacing_ = spacing;
    stack(widget()).spacing = spacing;
}
void StackView::setEdgeInsets(EdgeInsets insets) {
    insets_ = insets;
    stack(widget()).edgeInsets =
        NSEdgeInsetsMake(insets.top, insets.left, insets.bottom, insets.right);
}
void StackView::setCustomSpacing(double spacing, View* afterView) {
    custom_.emplace_back(afterView, spacing);
    [stack(widget()) setCustomSpacing:spacing afterView:afterView->widget()];
}
void StackView::relayout() {} // NSStackView lays itself out

TableCellView::TableCellView() : View([[NSTableCellView alloc] init]) {}

static NSTableView* nstable(NSView* view) {
    return static_cast<NSTableView*>(view);
}

TableView::TableView() : View([[NSTableView alloc] init]) {
    LVTableBridge* bridge = [[LVTableBridge alloc] initWithTable:this];
    d().helper = bridge;
    // The delegate first: AppKit decides from the delegate that the table is view-based, and
    // complains about a data source without tableView:objectValueForTableColumn:row: until then.
    // (Both properties are weak: the view keeps the bridge alive through d().helper.)
    nstable(widget()).delegate = bridge;
    nstable(widget()).dataSource = bridge;
}

void TableView::setHeaderView(bool standardHeader) {
    // The table's own header view is the standard one, with the height AppKit gives it; one made
    // with a plain init has a zero frame, and the header row could have no height.
    NSTableView* table = nstable(widget());
    if (!standardHeader && table.headerView != nil) {
        d().savedHeader = table.headerView;
        table.headerView = nil;
    } else if (standardHeader && table.headerView == nil && d().savedHeader != nil) {
        table.headerView = d().savedHeader;
    }
}
bool TableView::hasHeaderView() const {
    return nstable(widget()).headerView != nil;
}
void TableView::setUsesAlternatingRowBackgroundColors(bool alternating) {
    nstable(widget()).usesAlternatingRowBackgroundColors = alternating;
}
bool TableView::usesAlternatingRowBackgroundColors() const {
    return nstable(widget()).usesAlternatingRowBackgroundColors;
}
void TableView::setRowHeight(double height) {
    rowHeight_ = height;
    nstable(widget()).rowHeight = height;
}
void TableView::setAllowsEmptySelection(bool allows) {
    allowsEmptySelection_ = allows;
    nstable(widget()).allowsEmptySelection = allows;
}
bool TableView::allowsEmptySelection() const {
    return nstable(widget()).allowsEmptySelection;
}
void TableView::addTableColumn(std::shared_ptr<TableColumn> column) {
    NSTableColumn* nscolumn = [[NSTableColumn alloc] initWithIdentifier:ns(column->identifier())];
    nscolumn.title = ns(column->title());
    nscolumn.width = column->width();
    [nstable(widget()) addTableColumn:nscolumn];
    column->table_ = this;
    columns_.push_back(std::move(column));
}
std::string TableView::titleOf(const TableColumn& column) const {
    return utf8([nstable(widget()) tableColumnWithIdentifier:ns(column.identifier())].title);
}
void TableView::setTitleOf(const TableColumn& column, const std::string& title) {
    [nstable(widget()) tableColumnWithIdentifier:ns(column.identifier())].title = ns(title);
}
void TableView::setWidthOf(const TableColumn& column, double width) {
    [nstable(widget()) tableColumnWithIdentifier:ns(column.identifier())].width = width;
}
void TableView::moveColumn(std::size_t from, std::size_t to) {
    NSTableView* table = nstable(widget());
    const NSInteger shown = [table columnWithIdentifier:ns(columns_.at(from)->identifier())];
    if (shown >= 0)
        [table moveColumn:shown toColumn:NSInteger(to)];
}
void TableView::reloadData() {
    LVTableBridge* bridge = d().helper;
    bridge.dataSource = dataSource_;
    bridge.delegate = delegate_;
    [bridge forgetCells];
    rows_ = dataSource_ != nullptr ? dataSource_->numberOfRows(*this) : 0;
    [nstable(widget()) reloadData];
}
void TableView::makeCells() {
    // NSTableView asks for cells itself, as rows come into view.
    cellsStale_ = false;
}
long TableView::numberOfRows() const {
    return nstable(widget()).numberOfRows;
}
View* TableView::viewAtColumn(std::size_t column, long row) {
    if (column >= columns_.size())
        return nullptr;
    // The column as added, wherever the user has dragged it since.
    NSTableView* table = nstable(widget());
    const NSInteger shown = [table columnWithIdentifier:ns(columns_[column]->identifier())];
    if (shown < 0)
        return nullptr;
    NSView* view = [table viewAtColumn:shown row:row makeIfNecessary:YES];
    LVTableBridge* bridge = d().helper;
    return view != nil ? [bridge cellFor:view] : nullptr;
}

ScrollView::ScrollView() : View([[NSScrollView alloc] init]) {}
void ScrollView::setDocumentView(std::shared_ptr<TableView> table) {
    static_cast<NSScrollView*>(widget()).documentView = table->widget();
    document_ = std::move(table);
}
void ScrollView::setHasVerticalScroller(bool has) {
    static_cast<NSScrollView*>(widget()).hasVerticalScroller = has;
}
bool ScrollView::hasVerticalScroller() const {
    return static_cast<NSScrollView*>(widget()).hasVerticalScroller;
}
void ScrollView::setBorderType(BorderType type) {
    static_cast<NSScrollView*>(widget()).borderType = static_cast<NSBorderType>(type);
}
BorderType ScrollView::borderType() const {
    return static_cast<BorderType>(static_cast<NSScrollView*>(widget()).borderType);
}

struct Window::Private {
    NSWindow* window = nil;
};

Window::Window(Rect contentRect, unsigned styleMask, BackingStore backing, bool defer)
    : d_(std::make_unique<Private>()), styleMask_(styleMask) {
    d_->window =
        [[NSWindow alloc] initWithContentRect:NSMakeRect(contentRect.x, contentRect.y,
                                                         contentRect.width, contentRect.height)
                                    styleMask:styleMask
                                      backing:static_cast<NSBackingStoreType>(backing)
                                        defer:defer];
    d_->window.releasedWhenClosed = NO; // the C++ object owns it
}

Window::~Window() {
    // Gone from the screen with its object, as a Qt window is.
    [d_->window orderOut:nil];
}
void Window::setTitle(const std::string& title) {
    d_->window.title = ns(title);
}
std::string Window::title() const {
    return utf8(d_->window.title);
}
void Window::center() {
    [d_->window center];
}
void Window::setContentView(std::shared_ptr<View> view) {
    d_->window.contentView = view->widget();
    content_ = std::move(view);
}
void Window::makeKeyAndOrderFront(Object*) {
    [d_->window makeKeyAndOrderFront:nil];
    // Left alone, the window would give the keyboard to the first view that takes it, the
    // selectable usage paragraph, and AppKit would open with all its text selected.
    [d_->window makeFirstResponder:nil];
}
bool Window::isVisible() const {
    return d_->window.visible;
}
unsigned Window::styleMask() const {
    return static_cast<unsigned>(d_->window.styleMask);
}
bool Window::firstResponderIsTextField() const {
    NSResponder* responder = d_->window.firstResponder;
    // A field being edited hands the keyboard to the window's field editor, a text view.
    return [responder isKindOfClass:NSTextField.class] || [responder isKindOfClass:NSText.class];
}
NativeWindow Window::widget() const {
    return d_->window;
}

Application::Application() {
    // NSApplication's delegate reference is weak: this one lives as long as the process.
    static LVApplicationDelegate* bridge = [[LVApplicationDelegate alloc] init];
    NSApplication.sharedApplication.delegate = bridge;
}

Application& Application::sharedApplication() {
    static Application* application = new Application;
    return *application;
}

void Application::run() {
    [NSApp setActivationPolicy:static_cast<NSApplicationActivationPolicy>(policy_)];
    [NSApp run];
}

void Application::finishLaunching() {
    [NSApp setActivationPolicy:static_cast<NSApplicationActivationPolicy>(policy_)];
    [NSApp finishLaunching];
}

void Application::runLoopOnce() {
    @autoreleasepool {
        // The events waiting now, then the main queue's jobs and timers, then layout.
        while (NSEvent* event = [NSApp nextEventMatchingMask:NSEventMaskAny
                                                   untilDate:NSDate.distantPast
                                                      inMode:NSDefaultRunLoopMode
                                                     dequeue:YES])
            [NSApp sendEvent:event];
        [NSRunLoop.mainRunLoop runMode:NSDefaultRunLoopMode beforeDate:NSDate.distantPast];
        for (NSWindow* window in NSApp.windows)
            [window layoutIfNeeded];
    }
}

void Application::activateIgnoringOtherApps(bool) {
    macos::activateApplication();
}

void Application::terminate() {
    [NSApp terminate:nil];
}

} // namespace platform
