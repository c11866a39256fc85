#include "controls/form2.h"

#include <QApplication>
#include <QEvent>
#include <QFont>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QStyledItemDelegate>
#include <algorithm>

#include "base/display_text.h"
#include "base/texts.h"

namespace warpkit {

namespace {

constexpr int kListItemHeight = 12;

// Every list row gets the same fixed height, less than the font's own line height; the name
// sits on a baseline chosen so that capitals and descenders both stay inside its row.
class FixedHeightDelegate : public QStyledItemDelegate {
public:
    FixedHeightDelegate(int height, QObject* parent)
        : QStyledItemDelegate(parent), height_(height) {}

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(height_);
        return size;
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem item = option;
        initStyleOption(&item, index);
        const QString name = item.text;
        item.text.clear();
        const QWidget* view = item.widget;
        QStyle* style = view != nullptr ? view->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &item, painter, view);

        const QRect text_area =
            style->subElementRect(QStyle::SE_ItemViewItemText, &item, view).adjusted(2, 0, -2, 0);
        const QFontMetrics metrics(item.font);
        const int baseline = text_area.top() + (text_area.height() + metrics.capHeight()) / 2;
        const bool selected = item.state.testFlag(QStyle::State_Selected);
        const QPalette::ColorGroup group =
            item.state.testFlag(QStyle::State_Enabled) ? QPalette::Normal : QPalette::Disabled;
        painter->save();
        painter->setFont(item.font);
        painter->setPen(
            item.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
        painter->drawText(text_area.left(), baseline,
                          metrics.elidedText(name, Qt::ElideMiddle, text_area.width()));
        painter->restore();
    }

private:
    int height_;
};

// The list of names. Focus alone marks no row: the view would make the first row current as
// it gets the focus, and draw its focus frame on a name nobody chose, from which the next Down
// went to the second name. With no name highlighted, Down or Up highlights the first one, and
// that selection counts as its click, as every selection the keys make.
class ObjectList : public QListWidget {
public:
    using QListWidget::QListWidget;

protected:
    void focusInEvent(QFocusEvent* event) override {
        QListWidget::focusInEvent(event);
        if (selectedItems().isEmpty()) selectionModel()->clearCurrentIndex();
    }
    void keyPressEvent(QKeyEvent* event) override {
        const bool vertical = event->key() == Qt::Key_Down || event->key() == Qt::Key_Up;
        if (vertical && selectedItems().isEmpty() && count() > 0) {
            setCurrentRow(0);
            event->accept();
            return;
        }
        QListWidget::keyPressEvent(event);
    }
};

QPushButton* make_button(QWidget* parent, const char* name, const char* caption, QRect geometry) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setGeometry(geometry);
    // Enter must not close the dialog, whichever button has the focus.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

}  // namespace

void InfoField::show_text(const QString& text, const QString& name) {
    name_ = name;
    setText(text);
    update();
}

InfoField::Line InfoField::fit(const QString& line, int width) const {
    const QFontMetrics metrics = fontMetrics();
    if (metrics.horizontalAdvance(line) <= width) return {line, font().pixelSize()};

    const int at = name_.isEmpty() ? -1 : static_cast<int>(line.lastIndexOf(name_));
    if (at >= 0) {
        const QString before = line.left(at);
        const QString after = line.mid(at + name_.size());
        const int room =
            width - metrics.horizontalAdvance(before) - metrics.horizontalAdvance(after);
        if (room > metrics.horizontalAdvance(QChar(0x2026))) {
            return {before + metrics.elidedText(name_, Qt::ElideMiddle, room) + after,
                    font().pixelSize()};
        }
    }
    QFont smaller = font();
    for (int size = font().pixelSize() - 1; size >= kSmallestPixelSize; --size) {
        smaller.setPixelSize(size);
        if (QFontMetrics(smaller).horizontalAdvance(line) <= width) return {line, size};
    }
    // Even the smallest size is too wide: what does not fit ends in an ellipsis.
    return {QFontMetrics(smaller).elidedText(line, Qt::ElideRight, width), kSmallestPixelSize};
}

std::vector<InfoField::Line> InfoField::fitted_lines() const {
    // A pixel of air on each side, so that no glyph touches the sunken frame.
    const int width = contentsRect().width() - 2;
    std::vector<Line> lines;
    for (const QString& line : text().split('\n')) lines.push_back(fit(line, width));
    return lines;
}

void InfoField::paintEvent(QPaintEvent*) {
    // Three lines in 42 pixels, less than three of the font's own line spacings: they are set
    // closer than a plain label would set them.
    QPainter painter(this);
    drawFrame(&painter);
    const std::vector<Line> lines = fitted_lines();
    const auto count = static_cast<int>(lines.size());
    const QRect area = contentsRect();
    const int pitch = std::min(fontMetrics().lineSpacing(), area.height() / count);
    int top = area.top() + (area.height() - pitch * count) / 2;
    for (const Line& line : lines) {
        QFont font = this->font();
        font.setPixelSize(line.pixel_size);
        painter.setFont(font);
        painter.drawText(QRect(area.left(), top, area.width(), pitch),
                         Qt::AlignCenter | Qt::TextDontClip, line.text);
        top += pitch;
    }
}

TForm2::TForm2(QWidget* main_window)
    : QDialog(main_window, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      main_window_(main_window) {
    setObjectName("Form2");
    setModal(true);
    setFixedSize(kClientWidth, kClientHeight);
    QFont font("Noto Sans CJK JP");
    font.setPixelSize(12);
    setFont(font);

    StaticText1 = new InfoField(this);
    StaticText1->setObjectName("StaticText1");
    StaticText1->setGeometry(5, 7, 241, 42);
    StaticText1->setFixedSize(241, 42);
    StaticText1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    StaticText1->setAlignment(Qt::AlignCenter);
    StaticText1->setTextFormat(Qt::PlainText);

    ListBox1 = new ObjectList(this);
    ListBox1->setObjectName("ListBox1");
    ListBox1->setGeometry(4, 60, 134, 161);
    ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListBox1->setSortingEnabled(false);
    ListBox1->setUniformItemSizes(true);
    ListBox1->setItemDelegate(new FixedHeightDelegate(kListItemHeight, ListBox1));
    ListBox1->viewport()->installEventFilter(this);
    // A selection moved by the arrow keys counts as a click, as a mouse click does.
    connect(ListBox1, &QListWidget::itemSelectionChanged, this, &TForm2::ChangeText);

    // The group box only frames the buttons; they belong to the form so that their places
    // are form coordinates, and are created after it so that they lie above it.
    GroupBox1 = new QGroupBox(this);
    GroupBox1->setObjectName("GroupBox1");
    GroupBox1->setGeometry(146, 78, 99, 106);

    Button1 = make_button(this, "Button1", texts::kOk, QRect(156, 103, 80, 22));
    Button2 = make_button(this, "Button2", texts::kCancel, QRect(155, 142, 80, 22));
    connect(Button1, &QPushButton::clicked, this, &TForm2::ExitDlg);
    connect(Button2, &QPushButton::clicked, this, &TForm2::CancelDlg);
}

int32_t TForm2::choose(const ObjectTable& table, const std::string& prompt, int32_t ui_language) {
    table_ = table;
    prompt_ = prompt;
    ui_language_ = ui_language;
    const int outcome = exec();

    const auto count = static_cast<int32_t>(table_.objects.size());
    if (outcome != QDialog::Accepted || count == 0) return -1;
    // The information field showed the first object since the dialog opened.
    if (!clicked_since_open_) return 0;
    if (SelectedIndex < 0 || SelectedIndex >= count) return -1;
    return SelectedIndex;
}

void TForm2::ListInit() {
    clicked_since_open_ = false;
    setWindowTitle(QString::fromUtf8(pick(ui_language_, texts::kSelectObjectCaption)));
    show_information(0);

    // Clearing drops any selection left from the last use before ChangeText could see it.
    ListBox1->clear();
    for (const ObjectEntry& entry : table_.objects) {
        const QString name = QString::fromStdString(display_text(entry.name));
        ListBox1->addItem(name);
        ListBox1->item(ListBox1->count() - 1)->setToolTip(name);
    }
    // Every opening starts in the list, whichever button had the focus when it last closed,
    // so that the arrow keys go to the names.
    ListBox1->setFocus(Qt::OtherFocusReason);
}

void TForm2::FormActivate() {
    if (main_window_ == nullptr) return;
    const QPoint offset(kOffsetFromMainWindow, kOffsetFromMainWindow);
    move(main_window_->frameGeometry().topLeft() + offset);
}

void TForm2::ChangeText() {
    int row = -1;
    for (int i = 0; i < ListBox1->count(); ++i) {
        if (ListBox1->item(i)->isSelected()) {
            row = i;
            break;
        }
    }
    if (row < 0) return;
    show_information(row);
    SelectedIndex = row;
    clicked_since_open_ = true;
}

void TForm2::ExitDlg() {
    done(QDialog::Accepted);
}

void TForm2::CancelDlg() {
    SelectedIndex = -1;
    done(QDialog::Rejected);
}

void TForm2::reject() {
    CancelDlg();
}

void TForm2::show_information(int index) {
    std::string text;
    std::string name;
    if (index >= 0 && index < static_cast<int>(table_.objects.size())) {
        const ObjectEntry& entry = table_.objects[static_cast<size_t>(index)];
        name = display_text(entry.name);
        text = format_text(pick(ui_language_, texts::kSelectObjectInfo), prompt_.c_str(),
                           name.c_str(), entry.vertex_count, entry.triangle_count);
    } else {
        text = format_text(pick(ui_language_, texts::kNoObjectInfo), prompt_.c_str());
    }
    StaticText1->show_text(QString::fromStdString(text), QString::fromStdString(name));
    StaticText1->setToolTip(QString::fromStdString(name));
}

void TForm2::showEvent(QShowEvent* event) {
    ListInit();
    FormActivate();
    QDialog::showEvent(event);
}

bool TForm2::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) FormActivate();
    return QDialog::event(event);
}

void TForm2::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Escape:
        case Qt::Key_Enter:
        case Qt::Key_Return:
            // The dialog has neither a default nor a cancel button.
            event->accept();
            return;
        default:
            QDialog::keyPressEvent(event);
    }
}

bool TForm2::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ListBox1->viewport() && event->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        // The first click of the pair has already chosen the name under the pointer.
        ExitDlg();
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace warpkit
