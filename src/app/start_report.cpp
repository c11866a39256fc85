#include "app/start_report.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QImage>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "app/tform1.h"
#include "controls/form2.h"
#include "view/gl_view.h"

namespace warpkit {

StartReport* StartReport::from_environment(TForm1& form) {
    const QString path = qEnvironmentVariable("WARPKIT_START_REPORT");
    if (path.isEmpty()) return nullptr;
    return new StartReport(form, path);
}

StartReport::StartReport(TForm1& form, QString path)
    : QObject(&form), form_(form), path_(std::move(path)) {
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &StartReport::answer_shown_dialog);
    timer->start(20);
}

void StartReport::answer_shown_dialog() {
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        shown_ << "message " + box->windowTitle() + ": " + box->text();
        if (QAbstractButton* ok = box->button(QMessageBox::Ok)) ok->click();
    } else if (auto* form2 = qobject_cast<TForm2*>(modal)) {
        QStringList names;
        for (int i = 0; i < form2->ListBox1->count(); ++i)
            names << form2->ListBox1->item(i)->text();
        shown_ << "choose " + form2->windowTitle() + ": " + names.join(", ");
        form2->Button1->click();
    }
}

void StartReport::finish() {
    const EditorState& state = form_.state();
    int targets = 0;
    for (int k = 1; k <= kTargetCount; ++k) targets += state.target_loaded(k) ? 1 : 0;
    // The picture as the window shows it: pixels other than the background's corner.
    const QImage picture = form_.view->grabFramebuffer();
    qint64 drawn = 0;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x)
            drawn += picture.pixel(x, y) != picture.pixel(0, 0);
    }
    QStringList lines;
    lines << QString("language ") + (state.UiLanguage == 1 ? "ja" : "en");
    lines << "source " + (state.source_loaded() ? QString::fromStdString(state.slots[0].name)
                                                : QString("none"));
    lines << "targets " + QString::number(targets);
    lines << "modified " + QString::number(state.modified);
    lines << "drawn " + QString::number(drawn);
    lines << shown_;
    QFile file(path_);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write((lines.join('\n') + '\n').toUtf8()) < 0) {
        qWarning("cannot write the start report %s", qPrintable(path_));
        QCoreApplication::exit(1);
        return;
    }
    file.close();
    QCoreApplication::exit(0);
}

}  // namespace warpkit
