#pragma once

// The window's bottom bar: three text panels side by side. The outer two keep
// a fixed width; the middle one takes what is left and carries the status line.

#include <QWidget>

class QLabel;

class StatusBar : public QWidget
{
    Q_OBJECT
public:
    // Left to right: the fixed prompt, the status line, the maker's name.
    enum Panel { PromptPanel = 1, StatusPanel, MakerPanel };
    static constexpr int PanelCount = MakerPanel;
    static constexpr int SidePanelWidth = 96;
    static constexpr int MinimumPanelWidth = 96;

    explicit StatusBar(QWidget *parent = nullptr);

    QString panelText(Panel panel) const;
    void setPanelText(Panel panel, const QString &text);
    QLabel *panelLabel(Panel panel) const;

private:
    QLabel *m_panels[PanelCount] = {};
};
