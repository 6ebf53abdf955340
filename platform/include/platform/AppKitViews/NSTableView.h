// A view-based table in a scroll view, as AppKit's NSTableView.h, NSTableColumn.h,
// NSTableCellView.h and NSScrollView.h have it: the data source tells the number of rows, and the
// delegate makes a view for each cell.
#pragma once

#include "platform/AppKitViews/NSView.h"

#include <string>

namespace platform {

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

} // namespace platform
