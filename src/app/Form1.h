#pragma once

// The main window, home of every control and of all the tool's state.
//
// Flow: the share address in Text1 -> Command1_Click fetches the page ->
// the parser fills the song state -> the labels' captions and the photo in
// Image1 -> Command7 (preview in W1), Command2 (download through WebBrowser1)
// and Command8 (video export) act on it.
//
// Start-up: Form_Load clears the icon and attaches the skin; one second later
// Timer2 runs the version check once, which alone enables Text1 and Command1 or
// ends the program. Every close request goes through Form_QueryUnload.
//
// A QWidget rather than a QMainWindow: the client area is laid out by hand in
// fixed pixels, and S1 is a control like the others, so a central widget and
// QMainWindow's own status bar would only stand in between.

#include "AudioTags.h"
#include "SongPage.h"

#include <QFont>
#include <QWidget>

#include <memory>

class Inet;
class PageFetch;
class QLabel;
class QSessionManager;
class QTimer;

namespace Ui {
class Form1;
}

class Form1 : public QWidget
{
    Q_OBJECT
public:
    explicit Form1(QWidget *parent = nullptr);
    ~Form1() override;

    // The whole program's font; auto-size labels take their size from it.
    static QFont programFont();

    // Panel 2 of S1.
    QString statusLine() const;
    void setStatusLine(const QString &text);

    // The song state of the last extraction.
    const SongPage &songPage() const { return m_song; }

public slots:
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void Command6_Click();
    void Command7_Click();
    void Command8_Click();
    void Command9_Click();
    void Timer2_Timer();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void setUpControls();
    void connectControls(QTimer *timer2);
    void Form_Load();
    void Form_QueryUnload(qint16 &cancel, int unloadMode);
    void commitDataRequested(QSessionManager &manager);
    // Auto-size labels take the size of their caption on one line; Label10
    // keeps its box and wraps inside it.
    void setCaption(QLabel *label, const QString &text);
    void showSongValues(const SongValues &values);
    // Shows the picture unless the extraction was superseded meanwhile;
    // returns the bytes of a photo fetched from the web, else empty.
    QByteArray showPicture(const QString &address, int extraction);

    std::unique_ptr<Ui::Form1> ui;
    Inet *m_inet1 = nullptr;
    bool m_versionChecked = false;
    SongPage m_song;
    // Names and photo of the song strMp3Url came with; empty when it came from an earlier page.
    SongTags m_tags;
    PageFetch *m_pageFetch = nullptr;
    // Bumped by every extraction that fetches and by the close: an extraction
    // whose number is no longer current was superseded and must not touch anything.
    int m_extraction = 0;
};
