#include "StatusBar.h"

#include <QHBoxLayout>
#include <QLabel>

StatusBar::StatusBar(QWidget *parent)
    : QWidget(parent)
{
    setAccessibleName(QStringLiteral("状态栏"));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    for (int i = 0; i < PanelCount; ++i) {
        auto *panel = new QLabel(this);
        panel->setObjectName(QStringLiteral("Panel%1").arg(i + 1));
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setTextFormat(Qt::PlainText);
        panel->setWordWrap(false);
        panel->setMinimumWidth(MinimumPanelWidth);
        const bool middle = i + 1 == StatusPanel;
        if (middle) {
            // A long status text must not push the outer panels or widen the bar.
            panel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        } else {
            panel->setFixedWidth(SidePanelWidth);
        }
        layout->addWidget(panel, middle ? 1 : 0);
        m_panels[i] = panel;
    }
}

QString StatusBar::panelText(Panel panel) const
{
    const QLabel *label = panelLabel(panel);
    return label ? label->text() : QString();
}

void StatusBar::setPanelText(Panel panel, const QString &text)
{
    if (QLabel *label = panelLabel(panel))
        label->setText(text);
}

QLabel *StatusBar::panelLabel(Panel panel) const
{
    if (panel < PromptPanel || panel > MakerPanel)
        return nullptr;
    return m_panels[panel - 1];
}
