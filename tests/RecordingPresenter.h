// Message boxes as a test sees them: every text shown is kept, and each is
// answered with answer (OK unless the test says otherwise). Installed for the
// presenter's lifetime.
#pragma once

#include "base/Translate.h"

#include <QString>
#include <vector>

class RecordingPresenter : public IMessagePresenter {
public:
    RecordingPresenter() { previous_ = CTranslate::Global().SetPresenter(this); }
    ~RecordingPresenter() override { CTranslate::Global().SetPresenter(previous_); }
    RecordingPresenter(const RecordingPresenter&) = delete;
    RecordingPresenter& operator=(const RecordingPresenter&) = delete;
    int Show(const QString& text, unsigned) override {
        texts.push_back(text);
        return answer;
    }
    int answer = IdOk;
    std::vector<QString> texts;

private:
    IMessagePresenter* previous_ = nullptr;
};
