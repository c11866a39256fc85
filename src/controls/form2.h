#pragma once
// The object selection dialog: lists the objects of one file, shows the data of the one the
// user points at, and hands back the chosen index or -1.
#include <QDialog>
#include <QLabel>
#include <cstdint>
#include <string>
#include <vector>

#include "model/qxm_reader.h"

class QGroupBox;
class QListWidget;
class QPushButton;

namespace warpkit {

// The information field: its lines centred, set closer than the font's own line spacing. A
// line too wide for the field is fitted: the object name in it is elided in the middle, any
// other text shrinks to the largest pixel size, down to 9, at which it fits.
class InfoField : public QLabel {
    Q_OBJECT
public:
    static constexpr int kSmallestPixelSize = 9;
    using QLabel::QLabel;

    // Shows `text`; `name` (empty for none) is the part of it that may be elided.
    void show_text(const QString& text, const QString& name);

    struct Line {
        QString text;
        int pixel_size;
    };
    // The lines as they are drawn.
    std::vector<Line> fitted_lines() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Line fit(const QString& line, int width) const;

    QString name_;
};

class TForm2 : public QDialog {
    Q_OBJECT
public:
    static constexpr int kClientWidth = 250;
    static constexpr int kClientHeight = 228;
    // Offset of the dialog's top-left corner from the main window's, in both directions.
    static constexpr int kOffsetFromMainWindow = 32;

    // The dialog places itself relative to `main_window`, which is also its parent.
    explicit TForm2(QWidget* main_window);

    // Shows `table` modally with `prompt` as the first line of the information field.
    // Returns -1 when the user declined or the table is empty, else an index below the
    // table's object count: the name clicked last, or the object the field shows (the first)
    // when no name was clicked since the dialog opened.
    int32_t choose(const ObjectTable& table, const std::string& prompt, int32_t ui_language);

    // Position of the last name clicked, -1 after Cancel and at construction. Not reset when
    // the dialog opens; choose() never hands back a stale value of it.
    int32_t SelectedIndex = -1;

    InfoField* StaticText1 = nullptr;
    QListWidget* ListBox1 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QGroupBox* GroupBox1 = nullptr;

    void ListInit();
    void FormActivate();
    void ChangeText();
    void ExitDlg();
    void CancelDlg();

protected:
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

public Q_SLOTS:
    // A close request from outside the dialog (the window system) counts as Cancel.
    void reject() override;

private:
    void show_information(int index);

    QWidget* main_window_ = nullptr;
    ObjectTable table_;
    std::string prompt_;
    int32_t ui_language_ = 1;
    bool clicked_since_open_ = false;
};

}  // namespace warpkit
