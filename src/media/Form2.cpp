#include "Form2.h"

#include "ui_Form2.h"

#include <QApplication>
#include <QCloseEvent>
#include <QIcon>
#include <QLabel>
#include <QScreen>

Form2::Form2(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint)
    , m_ui(std::make_unique<Ui::Form2>())
{
    m_ui->setupUi(this);
    setFixedSize(size());
    Form_Load();
}

Form2::~Form2() = default;

void Form2::Form_Load()
{
    setWindowIcon(QIcon());
}

void Form2::setTexts(const QString &videoUrl, const QString &videoHtml)
{
    m_ui->Text1->setText(videoUrl);
    m_ui->Text2->setText(videoHtml);
}

void Form2::setHint(const QString &hint)
{
    QLabel *label = m_ui->Label3;
    label->setText(hint);
    // A long folder name would be cut off at both ends of the one centred
    // line: wrap it instead, still centred in the frame, below its title.
    if (label->fontMetrics().horizontalAdvance(hint) <= label->width())
        return;
    label->setWordWrap(true);
    const int height = label->heightForWidth(label->width());
    const int centre = label->geometry().center().y();
    const int top = qMax(label->fontMetrics().height(), centre - height / 2);
    label->setGeometry(label->x(), top, label->width(), height);
}

// Esc lands here; the dialog stays open until its close box is used.
void Form2::reject() {}

void Form2::closeEvent(QCloseEvent *event)
{
    done(QDialog::Rejected);
    event->accept();
}

void Form2::showEvent(QShowEvent *event)
{
    // Centred on the screen, not over the window that happens to be active.
    const QWidget *active = QApplication::activeWindow();
    if (const QScreen *screen = active ? active->screen() : QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    QDialog::showEvent(event);
    m_ui->Text1->setFocus(Qt::OtherFocusReason);
}
