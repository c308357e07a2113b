#pragma once
// Windows placed where the user can reach them: inside the available area of
// their screen (the screen without its panels and docks), frame and all.

class QWidget;

namespace ovrel {

// Moves the window into the available area of its screen, and makes it
// smaller (not below its minimum size) when it is larger than that area.
void KeepOnScreen(QWidget& window);
// Places the window beside another one (right of it, else left of it, else
// where it overlaps least), inside the available area of that one's screen.
void PlaceBeside(QWidget& window, const QWidget& other);

}  // namespace ovrel
