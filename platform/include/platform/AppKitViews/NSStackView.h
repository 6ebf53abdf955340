// Stack views, as AppKit's NSStackView.h has them: a row or a column of views with the gaps, the
// insets and the alignment asked for.
#pragma once

#include "platform/AppKitViews/NSView.h"

namespace platform {

struct EdgeInsets {
    double top = 0, left = 0, bottom = 0, right = 0;
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

} // namespace platform
