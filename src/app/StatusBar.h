#pragma once

// The window's bottom bar: three text panels side by side. The outer two keep
// a fixed width; the middle one takes what is left and carries the status line.

#include <QWidget>

class QLabel;

class StatusBar : public QWidget
{
    Q_OBJECT
public:
    static constexpr int PanelCount = 3;
    static constexpr int SidePanelWidth = 96;
    static constexpr int MinimumPanelWidth = 96;

    explicit StatusBar(QWidget *parent = nullptr);

    // Panels are numbered from 1, left to right.
    QString panelText(int panel) const;
    void setPanelText(int panel, const QString &text);
    QLabel *panelLabel(int panel) const;

private:
    QLabel *m_panels[PanelCount] = {};
};
