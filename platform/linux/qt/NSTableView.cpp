// Tables on Qt 6 Widgets. A table view is a QTableWidget without grid, row header or editing,
// selecting whole rows; a cell is the widget of the view the delegate makes, set as the cell's
// widget. As in AppKit, reloading asks the data source for the rows at once and the delegate for
// the cells in the table's next layout pass. A column keeps its place in the order it was added
// (Qt's logical index) wherever the user drags it on the screen. A scroll view is a frame around
// its document view, the table, which scrolls itself.
#include "platform/AppKitViews/NSTableView.h"
#include "Views.h"

#include <QAbstractItemView>
#include <QBoxLayout>
#include <QFrame>
#include <QHeaderView>
#include <QTableWidget>
#include <QTimer>

namespace platform {

using qt::px;
using qt::qs;
using qt::ss;

TableCellView::TableCellView() : View(new QWidget) {}

TableView::TableView() : View(new QTableWidget) {
    auto* table = static_cast<QTableWidget*>(widget());
    table->setFrameShape(QFrame::NoFrame);
    table->setShowGrid(false);
    table->verticalHeader()->hide();
    table->horizontalHeader()->hide();
    // The last column on the screen takes whatever width the others leave, as AppKit's default
    // column autoresizing style does (NSTableView.h: columnAutoresizingStyle's default is
    // NSTableViewLastColumnOnlyAutoresizingStyle).
    table->horizontalHeader()->setStretchLastSection(true);
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

} // namespace platform
