#pragma once
// The disc layout window over the burner's compilation, shown modally
// before a burn when "Show files before burning" is on. Removals act on the
// compilation only; the task keeps its items.
class QWidget;
namespace engine {
class TKavoBurner;
}

namespace app {

void ShowDiscLayout(QWidget* parent, engine::TKavoBurner& burner);

}  // namespace app
