// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/channel_list_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace kinoverd {

const QString ChannelListDialog::kTitle = QStringLiteral("收看频道");
const QString ChannelListDialog::kListeningText = QStringLiteral("正在收听各频道 ...");

ChannelListDialog::ChannelListDialog(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(kTitle);
    heading_ = new QLabel(kListeningText, this);
    list_ = new QListWidget(this);
    list_->setMinimumWidth(360);
    auto* buttons = new QDialogButtonBox(this);
    watch_button_ = buttons->addButton(QStringLiteral("收看"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    watch_button_->setEnabled(false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading_);
    layout->addWidget(list_);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (const QListWidgetItem* item = list_->currentItem()) chosen_ = item->data(Qt::UserRole).toInt();
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(list_, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item) {
        watch_button_->setEnabled(item && (item->flags() & Qt::ItemIsEnabled));
    });
    connect(list_, &QListWidget::itemDoubleClicked, watch_button_, &QPushButton::click);
    survey_ = std::thread([this] {
        const ChannelStates states = ChannelSurvey(wire::kBlockSize).Listen();
        QMetaObject::invokeMethod(this, [this, states] { ShowStates(states); }, Qt::QueuedConnection);
    });
}

ChannelListDialog::~ChannelListDialog()
{
    if (survey_.joinable()) survey_.join();
}

QString ChannelListDialog::RowText(int channel, const ChannelState& state)
{
    const QString name = QStringLiteral("频道 %1").arg(channel);
    if (!state.on_air) return name + QStringLiteral(":  空闲");
    QString text = name + QStringLiteral(":  正在播放");
    if (!state.sender.empty()) text += QStringLiteral("  来自 ") + QString::fromStdString(state.sender);
    if (state.progress_percent) text += QStringLiteral("  已播放 %1%").arg(*state.progress_percent);
    return text;
}

void ChannelListDialog::ShowStates(const ChannelStates& states)
{
    heading_->setText(QStringLiteral("选择正在播放的频道:"));
    list_->clear();
    for (size_t i = 0; i < states.size(); ++i) {
        const int channel = wire::kFirstChannel + int(i);
        auto* item = new QListWidgetItem(RowText(channel, states[i]), list_);
        item->setData(Qt::UserRole, channel);
        if (!states[i].on_air) item->setFlags(item->flags() & ~Qt::ItemIsEnabled);
    }
    for (int row = 0; row < list_->count(); ++row) {
        if (list_->item(row)->flags() & Qt::ItemIsEnabled) {
            list_->setCurrentRow(row);
            break;
        }
    }
}

}  // namespace kinoverd
