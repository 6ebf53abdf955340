// Tables on AppKit. A table view is a view-based NSTableView whose data source and delegate are
// one LVTableBridge: it asks the C++ data source for the number of rows and the C++ delegate for
// each cell's view, and keeps the C++ side of each cell it made until the next reload, so that a
// cell looked up later is the delegate's own object. NSTableView asks for cells as rows come into
// view. Columns are found by identifier, since the user may drag them into another order. A scroll
// view is an NSScrollView with the table as its document view.
#include "platform/AppKitViews/NSTableView.h"
#include "Strings.h"
#include "Views.h"

#import <AppKit/AppKit.h>

#include <map>

using platform::macos::ns;
using platform::macos::utf8;

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

} // namespace platform
