#pragma once
// What the editor tells about itself: a tooltip in plain words on every button and box of
// the main window, the "Keyboard and mouse" page (every shortcut of the editor and of the
// viewers) and the About page (version, licence).

class QString;
class QWidget;

// Gives every button, box and list under `root` its tooltip, found by caption or name.
void SetToolTips(QWidget& root);

// The pages of the Help menu, as rich text.
QString KeyboardAndMousePage();
QString AboutPage();

// Shows `html` in a window of its own above `parent` (not modal; closed by the user).
void ShowHelpPage(QWidget* parent, const QString& title, const QString& html);
