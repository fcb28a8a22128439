#pragma once

#include <QWidget>
#include <vector>

#include "framework/Document.h"
#include "framework/View.h"

// A view that records every update hint its document sends. A widget, so that it can also be
// a main window's active view and receive commands as from a menu or key.
struct CHintRecorder : QWidget, CView {
    std::vector<int> hints;
    explicit CHintRecorder(CDocument* doc = nullptr) {
        if (doc) doc->AddView(this);
    }
    QWidget* GetWidget() override { return this; }
    void OnUpdate(CView*, int hint, void*) override { hints.push_back(hint); }
};
