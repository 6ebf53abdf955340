// Views and the constraints that place them, as AppKit's NSView.h and NSLayoutConstraint.h have
// them. A view owns its subviews; sizes are in points, and a constraint is one linear relation
// between two views' edges or sizes, made from their anchors. On macOS each view is the NSView of
// its class; on Linux a Qt widget (one point is one device-independent pixel, as on a Mac).
#pragma once

#include <memory>
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

} // namespace platform
