// SPDX-License-Identifier: GPL-3.0-or-later
// The list of the four channels, each on the air or idle, for choosing one
// to watch. The channels are listened to on a thread of its own for about a
// second while the dialog already shows; only a channel on the air can be
// chosen.
#pragma once

#include <QDialog>

#include <optional>
#include <thread>

#include "broadcast/channel_survey.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace kinoverd {

class ChannelListDialog : public QDialog {
    Q_OBJECT

public:
    static const QString kTitle;
    static const QString kListeningText;

    explicit ChannelListDialog(QWidget* parent = nullptr);
    // Waits for the listening to finish.
    ~ChannelListDialog() override;

    // The channel chosen, once the dialog was accepted.
    std::optional<int> chosen_channel() const { return chosen_; }
    // One row's text for a channel's state.
    static QString RowText(int channel, const ChannelState& state);

private:
    void ShowStates(const ChannelStates& states);

    // User-interface thread only; the survey thread only queues its result.
    QLabel* heading_ = nullptr;
    QListWidget* list_ = nullptr;
    QPushButton* watch_button_ = nullptr;
    std::optional<int> chosen_;
    std::thread survey_;
};

}  // namespace kinoverd
