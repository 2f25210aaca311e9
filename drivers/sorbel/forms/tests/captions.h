#pragma once
// Test support: the captions that a Sorbel frame shows.

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QWidget>

#include <set>
#include <string>

namespace tolver::sorbeltest {

// Every caption a frame shows: labels, group boxes and check boxes.
inline std::set<std::string> Captions(const QWidget& w) {
    std::set<std::string> texts;
    for (const QLabel* l : w.findChildren<QLabel*>()) texts.insert(l->text().toStdString());
    for (const QGroupBox* g : w.findChildren<QGroupBox*>()) texts.insert(g->title().toStdString());
    for (const QCheckBox* c : w.findChildren<QCheckBox*>()) texts.insert(c->text().toStdString());
    return texts;
}

}  // namespace tolver::sorbeltest
