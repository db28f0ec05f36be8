#pragma once

// The video dialog: shows the player address and the HTML snippet of the last
// export so the user can copy them. It has no buttons; only the close box (or
// the system's close command) ends it, never Esc or Enter.

#include <QDialog>

#include <memory>

namespace Ui {
class Form2;
}

class Form2 : public QDialog
{
    Q_OBJECT
public:
    explicit Form2(QWidget *parent = nullptr);
    ~Form2() override;

    // Text1 takes the player address, Text2 the snippet.
    void setTexts(const QString &videoUrl, const QString &videoHtml);
    // Label3, the hint that says where video.htm is.
    void setHint(const QString &hint);

public slots:
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void Form_Load();

    std::unique_ptr<Ui::Form2> m_ui;
};
