#include "gui/menu_style.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QStyleOptionMenuItem>

#include "gui/platform_qt.h"

namespace kestal {
namespace {

constexpr int kSeparatorHeight = 9;

QColor ToQColor(Color c) {
  const Color rgb = ResolveColor(c);
  return QColor(RedOf(rgb), GreenOf(rgb), BlueOf(rgb));
}

// Splits an item's text into its caption and the shortcut text after the tab.
std::pair<QString, QString> SplitItemText(const QString& text) {
  const qsizetype tab = text.indexOf(QLatin1Char('\t'));
  if (tab < 0) return {text, QString()};
  return {text.left(tab), text.mid(tab + 1)};
}

void InstallOnMenu(QMenu* menu, QStyle* style) {
  menu->setStyle(style);
  for (QAction* action : menu->actions())
    if (QMenu* sub = action->menu()) InstallOnMenu(sub, style);
}

}  // namespace

void FillHorizontalGradient(QPainter* painter, const QRect& r, Color a, Color b) {
  const int w = r.width();
  for (int c = 0; c < w; ++c)
    painter->fillRect(QRect(r.left() + c, r.top(), 1, r.height()), ToQColor(GradientColumnColor(a, b, c, w)));
}

QString MenuActionText(const QString& caption, ShortCut shortcut) {
  const std::string text = shortcut ? ShortCutToText(shortcut) : std::string();
  if (text.empty()) return caption;
  return caption + QLatin1Char('\t') + QString::fromStdString(text);
}

void SetActionShortCut(QAction* action, const QString& caption, ShortCut shortcut) {
  action->setText(MenuActionText(caption, shortcut));
  action->setShortcut(shortcut ? QtKeySequence(shortcut) : QKeySequence());
}

MenuStyle::MenuStyle(QStyle* base) : QProxyStyle(base), palette_(ComputeMenuPalette()) {}

void InstallOwnerDrawMenus(QMenuBar* bar, bool includeBarItems) {
  auto* style = new MenuStyle();
  style->setParent(bar);
  if (includeBarItems) bar->setStyle(style);
  for (QAction* action : bar->actions())
    if (QMenu* menu = action->menu()) InstallOnMenu(menu, style);
}

void MenuStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                             const QWidget* widget) const {
  const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
  if (item && element == CE_MenuItem) {
    painter->save();
    DrawMenuItem(*item, painter, widget);
    painter->restore();
    return;
  }
  if (item && element == CE_MenuBarItem) {
    painter->save();
    DrawMenuBarItem(*item, painter);
    painter->restore();
    return;
  }
  if (element == CE_MenuEmptyArea) {
    painter->fillRect(option->rect, ToQColor(SystemColor(kColorMenu)));
    return;
  }
  QProxyStyle::drawControl(element, option, painter, widget);
}

void MenuStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                               const QWidget* widget) const {
  // The menu's margins around the items are in the menu colour too.
  if (element == PE_PanelMenu) {
    painter->fillRect(option->rect, ToQColor(SystemColor(kColorMenu)));
    return;
  }
  QProxyStyle::drawPrimitive(element, option, painter, widget);
}

void MenuStyle::DrawSeparator(const QRect& r, QPainter* painter) const {
  painter->fillRect(r, ToQColor(SystemColor(kColorMenu)));
  FillHorizontalGradient(painter, QRect(r.left(), r.top(), kMenuBandWidth, r.height()), palette_.band,
                         SystemColor(kColorMenu));
  // A one-pixel line four pixels below the item's top, inset by one pixel on each side.
  FillHorizontalGradient(painter, QRect(r.left() + 1, r.top() + 4, r.width() - 2, 1),
                         SystemColor(kColorBtnShadow), SystemColor(kColorMenu));
}

void MenuStyle::DrawCheckMark(const QRect& r, const QColor& color, QPainter* painter) const {
  // A 7 × 7 tick centred in the check column, drawn in the text colour.
  constexpr int kSize = 7;
  const int x = r.left() + (kMenuCheckColumn - kSize) / 2;
  const int y = r.top() + ((r.bottom() - r.top()) - kSize) / 2;
  painter->setPen(QPen(color, 1));
  painter->setRenderHint(QPainter::Antialiasing, false);
  for (int i = 0; i < 3; ++i) {
    painter->drawLine(x, y + 2 + i, x + 2, y + 4 + i);
    painter->drawLine(x + 2, y + 4 + i, x + 6, y + i);
  }
}

void MenuStyle::DrawMenuItem(const QStyleOptionMenuItem& item, QPainter* painter, const QWidget* widget) const {
  const QRect r = item.rect;
  if (item.menuItemType == QStyleOptionMenuItem::Separator) {
    DrawSeparator(r, painter);
    return;
  }
  const bool selected = item.state & State_Selected;
  const bool disabled = !(item.state & State_Enabled);
  if (selected) {
    painter->fillRect(r, ToQColor(SystemColor(kColorHighlight)));
    FillHorizontalGradient(painter, r.adjusted(1, 1, -1, -1), palette_.highlightStart, palette_.highlightEnd);
  } else {
    painter->fillRect(r, ToQColor(SystemColor(kColorMenu)));
    FillHorizontalGradient(painter, QRect(r.left(), r.top(), kMenuBandWidth, r.height()), palette_.band,
                           SystemColor(kColorMenu));
  }

  QFont font = item.font;
  if (item.menuItemType == QStyleOptionMenuItem::DefaultItem) font.setBold(true);
  painter->setFont(font);
  const QColor text_color = ToQColor(disabled   ? SystemColor(kColorGrayText)
                                     : selected ? SystemColor(kColorHighlightText)
                                                : SystemColor(kColorMenuText));
  if (item.checked && item.checkType != QStyleOptionMenuItem::NotCheckable)
    DrawCheckMark(r, text_color, painter);

  const auto [caption, shortcut] = SplitItemText(item.text);
  int flags = Qt::TextSingleLine | Qt::AlignVCenter | Qt::TextExpandTabs;
  flags |= styleHint(SH_UnderlineShortcut, &item, widget) ? Qt::TextShowMnemonic : Qt::TextHideMnemonic;
  const QRect text_rect = r.adjusted(kMenuCheckColumn, 0, -kMenuCheckColumn, -1);
  painter->setPen(text_color);
  painter->drawText(text_rect, flags | Qt::AlignLeft, caption);

  if (item.menuItemType == QStyleOptionMenuItem::SubMenu) {
    QStyleOption arrow = item;
    arrow.rect = QRect(r.right() - kMenuCheckColumn + 1, r.top(), kMenuCheckColumn, r.height());
    arrow.palette.setColor(QPalette::ButtonText, text_color);
    QProxyStyle::drawPrimitive(PE_IndicatorArrowRight, &arrow, painter, widget);
  }
  if (shortcut.isEmpty()) return;
  if (!disabled && !selected) painter->setPen(ToQColor(palette_.shortcut));
  painter->drawText(text_rect, flags | Qt::AlignRight, shortcut);
}

void MenuStyle::DrawMenuBarItem(const QStyleOptionMenuItem& item, QPainter* painter) const {
  QRect r = item.rect;
  const bool highlighted = item.state & (State_Selected | State_Sunken);
  const bool disabled = !(item.state & State_Enabled);
  if (highlighted) {
    r.adjust(1, 1, -1, -1);
    painter->fillRect(r, ToQColor(SystemColor(kColorHighlight)));
    FillHorizontalGradient(painter, r.adjusted(1, 1, -1, -1), palette_.highlightStart, palette_.highlightEnd);
  } else {
    painter->fillRect(r, ToQColor(SystemColor(kColorBtnFace)));
  }
  painter->setFont(item.font);
  painter->setPen(ToQColor(disabled      ? SystemColor(kColorGrayText)
                           : highlighted ? SystemColor(kColorHighlightText)
                                         : SystemColor(kColorMenuText)));
  painter->drawText(item.rect.adjusted(0, 0, 0, -1),
                    Qt::TextSingleLine | Qt::AlignCenter | Qt::TextShowMnemonic, item.text);
}

QSize MenuStyle::sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                                   const QWidget* widget) const {
  QSize base = QProxyStyle::sizeFromContents(type, option, size, widget);
  const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
  if (type != CT_MenuItem || !item || qobject_cast<const QMenuBar*>(widget)) return base;
  // A separator is as high as the classic one, with its line in the middle.
  if (item->menuItemType == QStyleOptionMenuItem::Separator) return QSize(base.width(), kSeparatorHeight);
  // Caption as stored (its "&" included) + "X", then the shortcut + "XXX", plus 16.
  const auto [caption, shortcut] = SplitItemText(item->text);
  QString measured = caption + QLatin1Char('X');
  if (!shortcut.isEmpty()) measured += shortcut + QStringLiteral("XXX");
  QFont font = item->font;
  if (item->menuItemType == QStyleOptionMenuItem::DefaultItem) font.setBold(true);
  return QSize(QFontMetrics(font).horizontalAdvance(measured) + kMenuCheckColumn, base.height());
}

}  // namespace kestal
