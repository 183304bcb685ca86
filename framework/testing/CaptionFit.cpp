// A caption fits when the rectangle its text needs, aligned in the room the style leaves it (a label's
// contents less margin and indent, a button's contents beside its indicator, a group box's title), lies
// inside that room and inside every container up to the window.
#include "framework/testing/CaptionFit.h"

#include "framework/Controls.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QTest>
#include <QTextDocument>
#include <gtest/gtest.h>
#include <optional>

namespace {

struct TCaption {
    QString Text;
    QRect Room;   // where the style lets the text go, in the widget's coordinates
    QRect Needed; // where the text goes, in the widget's coordinates
};

QRect Aligned(const QWidget& Widget, Qt::Alignment Alignment, QSize Size, const QRect& Room) {
    return QStyle::alignedRect(Widget.layoutDirection(), Alignment, Size, Room);
}

QSize TextSize(const QWidget& Widget, const QString& Text, int Flags) {
    return Widget.fontMetrics().size(Flags, Text);
}

std::optional<TCaption> LabelCaption(const QLabel& Label) {
    if (Label.text().isEmpty() || !Label.pixmap().isNull())
        return std::nullopt;
    // The room QLabel itself gives its text.
    QRect room =
        Label.contentsRect().adjusted(Label.margin(), Label.margin(), -Label.margin(), -Label.margin());
    const Qt::Alignment align = QStyle::visualAlignment(Label.layoutDirection(), Label.alignment());
    int indent = Label.indent();
    if (indent < 0 && Label.frameWidth())
        indent = Label.fontMetrics().horizontalAdvance(u'x') / 2 - Label.margin();
    if (indent > 0) {
        if (align & Qt::AlignLeft)
            room.setLeft(room.left() + indent);
        if (align & Qt::AlignRight)
            room.setRight(room.right() - indent);
        if (align & Qt::AlignTop)
            room.setTop(room.top() + indent);
        if (align & Qt::AlignBottom)
            room.setBottom(room.bottom() - indent);
    }
    QString text = Label.text();
    QSize size;
    const bool rich = Label.textFormat() == Qt::RichText ||
                      (Label.textFormat() == Qt::AutoText && Qt::mightBeRichText(text));
    if (rich) {
        QTextDocument document;
        document.setDefaultFont(Label.font());
        document.setDocumentMargin(0);
        document.setHtml(text);
        if (Label.wordWrap())
            document.setTextWidth(room.width());
        size = document.size().toSize();
        text = document.toPlainText();
    } else if (Label.wordWrap()) {
        size = Label.fontMetrics().boundingRect(room, int(align) | Qt::TextWordWrap, text).size();
    } else {
        size = TextSize(Label, text, Label.buddy() ? Qt::TextShowMnemonic : 0);
    }
    return TCaption{text, room, Aligned(Label, align, size, room)};
}

std::optional<TCaption> ButtonCaption(const QAbstractButton& Button) {
    if (Button.text().isEmpty())
        return std::nullopt;
    QStyleOptionButton option;
    option.initFrom(&Button);
    option.text = Button.text();
    option.icon = Button.icon();
    option.iconSize = Button.iconSize();
    QStyle::SubElement contents;
    Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter;
    if (qobject_cast<const QCheckBox*>(&Button))
        contents = QStyle::SE_CheckBoxContents;
    else if (qobject_cast<const QRadioButton*>(&Button))
        contents = QStyle::SE_RadioButtonContents;
    else if (qobject_cast<const QPushButton*>(&Button)) {
        contents = QStyle::SE_PushButtonContents;
        align = Qt::AlignCenter;
    } else
        return std::nullopt; // tool buttons draw what their style and icon leave; none carries a long caption
    const QRect room = Button.style()->subElementRect(contents, &option, &Button);
    QSize size = TextSize(Button, Button.text(), Qt::TextShowMnemonic);
    if (!Button.icon().isNull())
        size.rwidth() += Button.iconSize().width() + 4;
    return TCaption{Button.text(), room, Aligned(Button, align, size, room)};
}

std::optional<TCaption> GroupBoxCaption(const QGroupBox& Box) {
    if (Box.title().isEmpty())
        return std::nullopt;
    QStyleOptionGroupBox option;
    option.initFrom(&Box);
    option.text = Box.title();
    option.lineWidth = 1;
    option.midLineWidth = 0;
    option.textAlignment = Box.alignment();
    option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    if (Box.isCheckable())
        option.subControls |= QStyle::SC_GroupBoxCheckBox;
    if (Box.isFlat())
        option.features |= QStyleOptionFrame::Flat;
    // The style sizes the title's rectangle from the text; the box's own rectangle is the room.
    const QRect title =
        Box.style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, &Box);
    const QSize size = TextSize(Box, Box.title(), Qt::TextShowMnemonic);
    return TCaption{Box.title(), Box.rect(), QRect(title.topLeft(), size.expandedTo(title.size()))};
}

std::optional<TCaption> Caption(const QWidget& Widget) {
    if (const auto* label = qobject_cast<const QLabel*>(&Widget))
        return LabelCaption(*label);
    if (const auto* button = qobject_cast<const QAbstractButton*>(&Widget))
        return ButtonCaption(*button);
    if (const auto* box = qobject_cast<const QGroupBox*>(&Widget))
        return GroupBoxCaption(*box);
    return std::nullopt;
}

std::string Describe(const QRect& R) {
    return std::to_string(R.width()) + "x" + std::to_string(R.height()) + "+" + std::to_string(R.x()) + "+" +
           std::to_string(R.y());
}

std::string Name(const QWidget& Widget) {
    const QString name = Widget.objectName().isEmpty() ? QString::fromLatin1(Widget.metaObject()->className())
                                                       : Widget.objectName();
    return (Widget.window()->objectName().isEmpty() ? std::string()
                                                    : Widget.window()->objectName().toStdString() + ".") +
           name.toStdString() + " (" + Widget.metaObject()->className() + ")";
}

} // namespace

std::vector<std::string> ClippedCaptions(const QWidget& Root) {
    std::vector<std::string> faults;
    QList<const QWidget*> widgets{&Root};
    for (const QWidget* child : Root.findChildren<QWidget*>())
        if (child->isVisibleTo(&Root))
            widgets.append(child);
    for (const QWidget* widget : widgets) {
        const auto caption = Caption(*widget);
        if (!caption)
            continue;
        std::string fault;
        if (!caption->Room.contains(caption->Needed))
            fault = "needs " + Describe(caption->Needed) + ", has " + Describe(caption->Room);
        // The containers up to the window clip whatever reaches past them.
        QRect needed = caption->Needed;
        for (const QWidget* w = widget; fault.empty() && w != &Root && !w->isWindow();
             w = w->parentWidget()) {
            needed.translate(w->pos());
            if (!w->parentWidget()->rect().contains(needed))
                fault = "needs " + Describe(needed) + " in " + Name(*w->parentWidget()) + ", which is " +
                        Describe(w->parentWidget()->rect());
        }
        if (!fault.empty())
            faults.push_back(Name(*widget) + " \"" + caption->Text.toStdString() + "\": " + fault);
    }
    if (Root.isWindow() && Root.width() < TitleBarWidth(Root))
        faults.push_back(Name(Root) + " title \"" + Root.windowTitle().toStdString() + "\": needs " +
                         std::to_string(TitleBarWidth(Root)) + " wide, has " + std::to_string(Root.width()));
    return faults;
}

void ExpectCaptionsFit(QWidget& Window, const std::string& Name) {
    Window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&Window)) << Name;
    QCoreApplication::processEvents();
    for (const std::string& fault : ClippedCaptions(Window))
        ADD_FAILURE() << Name << ": " << fault;
}
