#include "mapkit/CacheDialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

#include "core/run/ConfigFile.h"
#include "core/run/TaskEstimate.h"
#include "qtkit/Dialogs.h"

namespace mapkit {

namespace {

constexpr int64_t kMegabyte = int64_t{1} << 20;
constexpr int kLargestBoundMegabytes = 1000000;

}  // namespace

std::shared_ptr<TileCache> OpenTileCache(const QString& configPath, const std::string& cacheFolder) {
  const int32_t megabytes = run::ConfigFile(qtkit::ToLocal(configPath)).ReadMapCacheMegabytes();
  return std::make_shared<TileCache>(cacheFolder, megabytes * kMegabyte);
}

CacheDialog::CacheDialog(QString configPath, std::shared_ptr<TileCache> cache, QWidget* parent)
    : QDialog(parent), configPath_(std::move(configPath)), cache_(std::move(cache)) {
  setObjectName(QStringLiteral("cacheDialog"));
  setWindowTitle(tr("Map cache"));
  auto* layout = new QGridLayout(this);
  auto* boundLabel = new QLabel(tr("Keep at most (MiB) of base-layer tiles:"), this);
  BoundBox = new QSpinBox(this);
  BoundBox->setObjectName(QStringLiteral("boundBox"));
  BoundBox->setRange(1, kLargestBoundMegabytes);
  BoundBox->setValue(run::ConfigFile(qtkit::ToLocal(configPath_)).ReadMapCacheMegabytes());
  boundLabel->setBuddy(BoundBox);
  UsedLabel = new QLabel(this);
  UsedLabel->setObjectName(QStringLiteral("usedLabel"));
  EmptyButton = new QPushButton(tr("Empty the cache"), this);
  EmptyButton->setObjectName(QStringLiteral("emptyButton"));
  EmptyButton->setAutoDefault(false);
  OkButton = new QPushButton(tr("OK"), this);
  OkButton->setObjectName(QStringLiteral("okButton"));
  OkButton->setDefault(true);
  CancelButton = new QPushButton(tr("Cancel"), this);
  CancelButton->setObjectName(QStringLiteral("cancelButton"));
  CancelButton->setAutoDefault(false);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(EmptyButton);
  buttons->addStretch();
  buttons->addWidget(OkButton);
  buttons->addWidget(CancelButton);
  layout->addWidget(boundLabel, 0, 0);
  layout->addWidget(BoundBox, 0, 1);
  layout->addWidget(UsedLabel, 1, 0, 1, 2);
  layout->addLayout(buttons, 2, 0, 1, 2);
  connect(OkButton, &QPushButton::clicked, this, qtkit::Slot(this, &CacheDialog::OkClick));
  connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
  connect(EmptyButton, &QPushButton::clicked, this, qtkit::Slot(this, &CacheDialog::EmptyClick));
  ShowUse();
}

void CacheDialog::ShowUse() {
  UsedLabel->setText(tr("In use: %1 in %2")
                         .arg(qtkit::FromLocal(run::ByteSizeText(static_cast<double>(cache_->Bytes()))),
                              qtkit::FromLocal(cache_->Folder())));
}

void CacheDialog::OkClick() {
  run::ConfigFile(qtkit::ToLocal(configPath_)).WriteMapCacheMegabytes(BoundBox->value());
  cache_->SetMaxBytes(BoundBox->value() * kMegabyte);
  accept();
}

void CacheDialog::EmptyClick() {
  cache_->Clear();
  ShowUse();
}

}  // namespace mapkit
