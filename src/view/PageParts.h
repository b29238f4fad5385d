// The small builders the VIEW tab's boxes are made with, and the boxes each built in a file of its own.
#pragma once

#include "view/ViewPage.h"
#include "widgets/GaugeBar.h"
#include "widgets/GroupFrame.h"

#include <QCheckBox>
#include <QColor>
#include <QLabel>
#include <QLayout>
#include <QVBoxLayout>

namespace view {

inline const QColor LampGrey(128, 128, 128);

template <class W>
inline W* named(W* w, const char* name) {
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

inline QLabel* label(QWidget* parent, const char* name, const QString& text) {
    return named(new QLabel(text, parent), name);
}

// A control that exists and holds a value but is never shown.
template <class W>
inline W* hidden(W* w) {
    w->setVisible(false);
    return w;
}

inline QGroupBox* group(QWidget* parent, const QString& caption, const char* name = nullptr) {
    auto* g = new widgets::GroupFrame(caption, parent);
    if (name) g->setObjectName(QString::fromLatin1(name));
    return g;
}

inline widgets::GaugeBar* gauge(QWidget* parent, const char* name, Qt::Orientation o, int min, int max, int pos) {
    return named(new widgets::GaugeBar(o, min, max, pos, parent), name);
}

inline QLabel* valueLabel(QWidget* parent, const char* name, int value) {
    auto* l = label(parent, name, QString::number(value));
    l->setAlignment(Qt::AlignCenter);
    // Its line's height only: in a tall box the gauge above takes the room, and the value stays under it.
    l->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    return l;
}

inline QVBoxLayout* vbox(QWidget* w, int margin = 3, int spacing = 2) {
    auto* l = new QVBoxLayout(w);
    l->setContentsMargins(margin, margin, margin, margin);
    l->setSpacing(spacing);
    return l;
}

inline QCheckBox* check(QWidget* parent, QLayout* layout, const char* name, const char* caption) {
    auto* box = named(new QCheckBox(QString::fromLatin1(caption), parent), name);
    layout->addWidget(box);
    return box;
}

struct ChannelNames {
    const char *group, *caption, *detection, *trackBar, *signal, *tconv, *nconv, *npulse, *tconvLabel, *nconvLabel,
        *npulseLabel, *trangeLabel, *statusBar, *rateCaption;
    int channel; // 0 MW, 1 PIR1, 2 PIR2: which ranges its controls have
    int tconvStart, nconvStart;
    std::array<const char*, 5> numberLabels; // compensation, level, signal, mask, noise
};

// The channel boxes (ChannelBoxes.cpp), the SETUP box (SetupBox.cpp).
void BuildMwBox(QWidget* page, ViewControls& c);
void BuildPirBox(QWidget* page, ChannelControls& ch, const ChannelNames& n, const char* lens, const char* maskLamp,
                 const char* noiseLamp, const char* maskBar, const char* noiseBar, int noiseMax, const char* spareGroup,
                 const char* spare1, const char* spare2);
void BuildSetupBox(QWidget* page, ViewControls& c);

} // namespace view
