#pragma once
// MyMenu: the menus' own look: a coloured band down the left of drop-down menus, gradient
// highlights with a one-pixel frame, centred menu-bar captions, a check mark in the
// band's first 16 pixels and shortcut texts in a colour of their own. The main window
// installs it only when visual styles are in effect; elsewhere the menus keep the
// platform's drawing. Shortcut texts come from the action texts ("caption\tshortcut"),
// which the program builds with its own shortcut conversion.

#include <QProxyStyle>
#include <QString>

#include "text/menu_colors.h"
#include "text/shortcut_text.h"

class QAction;
class QMenu;
class QMenuBar;
class QPainter;
class QStyleOptionMenuItem;

namespace kestal {

class MenuStyle : public QProxyStyle {
  Q_OBJECT
 public:
  // The colours are computed from the system colours in effect now.
  explicit MenuStyle(QStyle* base = nullptr);

  void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                   const QWidget* widget) const override;
  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override;
  QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                         const QWidget* widget) const override;

  const MenuPalette& Palette() const { return palette_; }

 private:
  void DrawSeparator(const QRect& r, QPainter* painter) const;
  void DrawMenuItem(const QStyleOptionMenuItem& item, QPainter* painter, const QWidget* widget) const;
  void DrawMenuBarItem(const QStyleOptionMenuItem& item, QPainter* painter) const;
  void DrawCheckMark(const QRect& r, const QColor& color, QPainter* painter) const;

  MenuPalette palette_;
};

// Gives a menu bar's drop-down menus (at every depth) the owner-drawn look, and its
// own items too when `includeBarItems` is set. The style belongs to the menu bar.
void InstallOwnerDrawMenus(QMenuBar* bar, bool includeBarItems);

// A horizontal gradient over r from a to b, one column at a time (see GradientColumnColor).
void FillHorizontalGradient(QPainter* painter, const QRect& r, Color a, Color b);

// The text of a menu action: the caption, and after a tab the shortcut's text from the
// program's conversion ("&Открыть...\tCtrl+O"); the caption alone for no shortcut.
QString MenuActionText(const QString& caption, ShortCut shortcut);
// Sets the action's text as above and its key sequence to the same shortcut.
void SetActionShortCut(QAction* action, const QString& caption, ShortCut shortcut);

}  // namespace kestal
