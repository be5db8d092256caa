#include "palette.h"

#include <QPainter>

namespace look {

QPalette ProgramPalette()
{
    QPalette p;
    for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        const bool off = g == QPalette::Disabled;
        const QColor text = off ? kDisabledText : kText;
        p.setColor(g, QPalette::Window, kButtonFace);
        p.setColor(g, QPalette::WindowText, text);
        p.setColor(g, QPalette::Base, off ? kButtonFace : kBase);
        p.setColor(g, QPalette::AlternateBase, QColor(245, 245, 245));
        p.setColor(g, QPalette::Text, text);
        p.setColor(g, QPalette::Button, kButtonFace);
        p.setColor(g, QPalette::ButtonText, text);
        p.setColor(g, QPalette::BrightText, Qt::white);
        // The bevels of the flat buttons and the frames: Windows' 3-D colours.
        p.setColor(g, QPalette::Light, Qt::white);
        p.setColor(g, QPalette::Midlight, QColor(227, 227, 227));
        p.setColor(g, QPalette::Mid, QColor(160, 160, 160));
        p.setColor(g, QPalette::Dark, QColor(160, 160, 160));
        p.setColor(g, QPalette::Shadow, QColor(105, 105, 105));
        p.setColor(g, QPalette::Highlight, off ? QColor(200, 200, 200) : kHighlight);
        p.setColor(g, QPalette::HighlightedText, off ? kText : QColor(Qt::white));
        p.setColor(g, QPalette::ToolTipBase, kToolTip);
        p.setColor(g, QPalette::ToolTipText, kText);
        p.setColor(g, QPalette::Link, kLink);
        p.setColor(g, QPalette::LinkVisited, QColor(102, 0, 153));
        p.setColor(g, QPalette::PlaceholderText, kPlaceholder);
    }
    return p;
}

void DrawFocusRing(QPainter& painter, const QRect& r)
{
    painter.save();
    QPen pen(kFocusRing, 1, Qt::DotLine);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(r.adjusted(0, 0, -1, -1));
    painter.restore();
}

} // namespace look
