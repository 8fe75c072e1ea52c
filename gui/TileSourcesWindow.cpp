#include "gui/TileSourcesWindow.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <stdexcept>

#include "core/download/FailureRules.h"
#include "core/download/HttpClient.h"
#include "core/platform/Numbers.h"
#include "core/run/ConfigFile.h"
#include "qtkit/Dialogs.h"
#include "gui/WidgetsUi.h"

using qtkit::FromLocal;
using gui::Named;
using qtkit::ToLocal;

namespace {

QSpinBox* MakeSpin(QWidget* parent, const char* name, int minimum, int maximum) {
  auto* spin = Named(new QSpinBox(parent), name);
  spin->setRange(minimum, maximum);
  return spin;
}

std::vector<std::string> Split(const QString& text, const QString& separator) {
  std::vector<std::string> parts;
  for (const QString& part : text.split(separator, Qt::SkipEmptyParts)) {
    const QString trimmed = part.trimmed();
    if (!trimmed.isEmpty()) parts.push_back(ToLocal(trimmed));
  }
  return parts;
}

QString Join(const std::vector<std::string>& parts, const QString& separator) {
  QStringList list;
  for (const std::string& part : parts) list << FromLocal(part);
  return list.join(separator);
}

}  // namespace

// ---------------------------------------------------------------- one source

TfrmTileSourceEdit::TfrmTileSourceEdit(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmTileSourceEdit"));
  setWindowTitle(QStringLiteral("Tile source"));
  auto* form = new QFormLayout;
  const auto row = [&](const QString& label, QWidget* field) { form->addRow(label, field); };
  row(QStringLiteral("Name:"), EditName = Named(new QLineEdit(this), "EditName"));
  row(QStringLiteral("URL template:"), EditUrl = Named(new QLineEdit(this), "EditUrl"));
  EditUrl->setPlaceholderText(QStringLiteral("https://{s}.example.org/{z}/{x}/{y}.png"));
  EditUrl->setToolTip(QStringLiteral("Placeholders: {z} {x} {y} {-y} {q} {s} {date} {secret}"));
  row(QStringLiteral("File prefix:"), EditPrefix = Named(new QLineEdit(this), "EditPrefix"));
  ComboExtension = Named(new QComboBox(this), "ComboExtension");
  ComboExtension->addItems({QStringLiteral("jpg"), QStringLiteral("png")});
  row(QStringLiteral("File extension:"), ComboExtension);
  row(QStringLiteral("Referer:"), EditReferer = Named(new QLineEdit(this), "EditReferer"));
  row(QStringLiteral("User-Agent:"), EditUserAgent = Named(new QLineEdit(this), "EditUserAgent"));
  MemoHeaders = Named(new QPlainTextEdit(this), "MemoHeaders");
  MemoHeaders->setToolTip(QStringLiteral("One header a line: Name: value"));
  MemoHeaders->setFixedHeight(60);
  row(QStringLiteral("Other headers:"), MemoHeaders);
  row(QStringLiteral("Lowest zoom:"), SpinMinZoom = MakeSpin(this, "SpinMinZoom", 1, 21));
  row(QStringLiteral("Highest zoom:"), SpinMaxZoom = MakeSpin(this, "SpinMaxZoom", 1, 21));
  row(QStringLiteral("Subdomains:"), EditSubdomains = Named(new QLineEdit(this), "EditSubdomains"));
  EditSubdomains->setPlaceholderText(QStringLiteral("a,b,c"));
  row(QStringLiteral("Pause between requests (ms):"), SpinPause = MakeSpin(this, "SpinPause", 0, 3600000));
  row(QStringLiteral("Workers at most:"), SpinWorkers = MakeSpin(this, "SpinWorkers", 1, 8));
  EditSecret = Named(new QLineEdit(this), "EditSecret");
  EditSecret->setEchoMode(QLineEdit::Password);
  EditSecret->setToolTip(QStringLiteral("Written {secret} in the template or a header; kept in the settings file only"));
  row(QStringLiteral("Secret:"), EditSecret);

  ButtonOK = Named(new QPushButton(QStringLiteral("OK"), this), "ButtonOK");
  ButtonOK->setDefault(true);
  ButtonCancel = Named(new QPushButton(QStringLiteral("Cancel"), this), "ButtonCancel");
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ButtonOK);
  buttons->addWidget(ButtonCancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addLayout(buttons);
  connect(ButtonOK, &QPushButton::clicked, this, qtkit::Slot(this, &TfrmTileSourceEdit::ButtonOKClick));
  connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
  SetSource(task::TileSource{}, QString());
}

void TfrmTileSourceEdit::SetSource(const task::TileSource& s, const QString& secret) {
  EditName->setText(FromLocal(s.Name));
  EditUrl->setText(FromLocal(s.UrlTemplate));
  EditPrefix->setText(FromLocal(s.FilePrefix));
  ComboExtension->setCurrentIndex(s.Extension == "png" ? 1 : 0);
  EditReferer->setText(FromLocal(s.Referer));
  EditUserAgent->setText(FromLocal(s.UserAgent));
  MemoHeaders->setPlainText(Join(s.HeaderLines, QStringLiteral("\n")));
  SpinMinZoom->setValue(s.MinZoom);
  SpinMaxZoom->setValue(s.MaxZoom);
  EditSubdomains->setText(Join(s.Subdomains, QStringLiteral(",")));
  SpinPause->setValue(s.PauseMs);
  SpinWorkers->setValue(s.MaxWorkers);
  EditSecret->setText(secret);
}

task::TileSource TfrmTileSourceEdit::Source() const {
  task::TileSource s;
  s.Name = ToLocal(EditName->text().trimmed());
  s.UrlTemplate = ToLocal(EditUrl->text().trimmed());
  s.FilePrefix = ToLocal(EditPrefix->text().trimmed());
  s.Extension = ToLocal(ComboExtension->currentText());
  s.Referer = ToLocal(EditReferer->text().trimmed());
  s.UserAgent = ToLocal(EditUserAgent->text().trimmed());
  s.HeaderLines = Split(MemoHeaders->toPlainText(), QStringLiteral("\n"));
  s.MinZoom = SpinMinZoom->value();
  s.MaxZoom = SpinMaxZoom->value();
  s.Subdomains = Split(EditSubdomains->text(), QStringLiteral(","));
  s.PauseMs = SpinPause->value();
  s.MaxWorkers = SpinWorkers->value();
  return s;
}

QString TfrmTileSourceEdit::Secret() const { return EditSecret->text(); }

void TfrmTileSourceEdit::ButtonOKClick() {
  if (const std::string problem = task::SourceProblem(Source()); !problem.empty()) {
    qtkit::ShowMessage(FromLocal(problem));
    return;
  }
  accept();
}

// ---------------------------------------------------------------- the list

TfrmTileSources::TfrmTileSources(QString configPath, std::function<TestTile()> testTile, QWidget* parent)
    : QDialog(parent), configPath_(std::move(configPath)), testTile_(std::move(testTile)) {
  setObjectName(QStringLiteral("frmTileSources"));
  setWindowTitle(QStringLiteral("Tile sources"));
  resize(520, 320);
  SourceList = Named(new QListWidget(this), "SourceList");
  ButtonAdd = Named(new QPushButton(QStringLiteral("&Add..."), this), "ButtonAdd");
  ButtonEdit = Named(new QPushButton(QStringLiteral("&Edit..."), this), "ButtonEdit");
  ButtonRemove = Named(new QPushButton(QStringLiteral("&Remove"), this), "ButtonRemove");
  ButtonTest = Named(new QPushButton(QStringLiteral("&Test"), this), "ButtonTest");
  ButtonClose = Named(new QPushButton(QStringLiteral("Close"), this), "ButtonClose");
  LabelTest = Named(new QLabel(this), "LabelTest");
  LabelTest->setWordWrap(true);
  LabelTest->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* buttons = new QVBoxLayout;
  for (QPushButton* button : {ButtonAdd, ButtonEdit, ButtonRemove, ButtonTest}) {
    button->setAutoDefault(false);
    buttons->addWidget(button);
  }
  buttons->addStretch();
  buttons->addWidget(ButtonClose);
  auto* top = new QHBoxLayout;
  top->addWidget(SourceList, 1);
  top->addLayout(buttons);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top, 1);
  layout->addWidget(LabelTest);
  connect(ButtonAdd, &QPushButton::clicked, this, qtkit::Slot(this, &TfrmTileSources::ButtonAddClick));
  connect(ButtonEdit, &QPushButton::clicked, this, qtkit::Slot(this, &TfrmTileSources::ButtonEditClick));
  connect(ButtonRemove, &QPushButton::clicked, this, qtkit::Slot(this, &TfrmTileSources::ButtonRemoveClick));
  connect(ButtonTest, &QPushButton::clicked, this, qtkit::Slot(this, &TfrmTileSources::ButtonTestClick));
  connect(ButtonClose, &QPushButton::clicked, this, &QDialog::accept);
  connect(SourceList, &QListWidget::itemDoubleClicked, this, qtkit::Slot(this, &TfrmTileSources::ButtonEditClick));
  Reload();
}

void TfrmTileSources::Reload() {
  const int row = SourceList->currentRow();
  sources_ = run::ConfigFile(ToLocal(configPath_)).ReadSources();
  SourceList->clear();
  for (const task::TileSource& source : sources_) SourceList->addItem(FromLocal(source.Name));
  if (!sources_.empty()) SourceList->setCurrentRow(std::clamp(row, 0, static_cast<int>(sources_.size()) - 1));
}

std::optional<task::TileSource> TfrmTileSources::Selected() const {
  const int row = SourceList->currentRow();
  if (row < 0 || row >= static_cast<int>(sources_.size())) return std::nullopt;
  return sources_[static_cast<std::size_t>(row)];
}

bool TfrmTileSources::RunForm(TfrmTileSourceEdit& form) {
  if (FillFormForTests) {
    FillFormForTests(form);
    form.ButtonOKClick();
    return form.result() == QDialog::Accepted;
  }
  return form.exec() == QDialog::Accepted;
}

void TfrmTileSources::ButtonAddClick() {
  TfrmTileSourceEdit form(this);
  if (!RunForm(form)) return;
  run::ConfigFile config(ToLocal(configPath_));
  const task::TileSource source = form.Source();
  if (config.ReadSource(source.Name)) {
    qtkit::ShowMessage(QStringLiteral("There is a tile source called %1 already.").arg(FromLocal(source.Name)));
    return;
  }
  config.WriteSource(source, ToLocal(form.Secret()));
  Reload();
  SourceList->setCurrentRow(static_cast<int>(sources_.size()) - 1);
}

void TfrmTileSources::ButtonEditClick() {
  const std::optional<task::TileSource> before = Selected();
  if (!before) return;
  run::ConfigFile config(ToLocal(configPath_));
  TfrmTileSourceEdit form(this);
  form.SetSource(*before, FromLocal(config.ReadSourceSecret(before->Name)));
  if (!RunForm(form)) return;
  const task::TileSource after = form.Source();
  if (after.Name != before->Name && config.ReadSource(after.Name)) {
    qtkit::ShowMessage(QStringLiteral("There is a tile source called %1 already.").arg(FromLocal(after.Name)));
    return;
  }
  // A renamed source takes its place at the end of the list.
  if (after.Name != before->Name) config.RemoveSource(before->Name);
  config.WriteSource(after, ToLocal(form.Secret()));
  Reload();
}

void TfrmTileSources::ButtonRemoveClick() {
  const std::optional<task::TileSource> source = Selected();
  if (!source) return;
  run::ConfigFile(ToLocal(configPath_)).RemoveSource(source->Name);
  Reload();
}

void TfrmTileSources::ButtonTestClick() {
  const std::optional<task::TileSource> source = Selected();
  if (!source || testJob_.Busy()) return;
  const run::ConfigFile config(ToLocal(configPath_));
  const std::string secret = config.ReadSourceSecret(source->Name);
  const run::ProxySettings proxy = config.ReadProxy();
  TestTile tile = testTile_ ? testTile_() : TestTile{};
  tile.Zoom = std::clamp(tile.Zoom, source->MinZoom, source->MaxZoom);
  const std::string url = task::Expand(source->UrlTemplate, *source, tile.X, tile.Y, tile.Zoom, "", secret);
  const std::vector<std::string> headers = task::ResolvedHeaderLines(*source, "", secret);
  LabelTest->setText(QStringLiteral("Fetching %1 ...")
                         .arg(FromLocal(task::Expand(source->UrlTemplate, *source, tile.X, tile.Y, tile.Zoom, "",
                                                     task::MaskedSecret(source->Name)))));
  ButtonTest->setEnabled(false);
  testJob_.Start([this, url, headers, proxy, extension = source->Extension](const std::atomic<bool>& stop) {
    std::string report;
    try {
      const std::unique_ptr<download::HttpClient> client = download::MakeTileClient(proxy, headers);
      std::string body;
      const download::HttpResult result = download::GetTile(*client, url, extension, body, &stop);
      const std::string type = result.ContentType.empty() ? "no content type" : result.ContentType;
      const std::string answer = "HTTP " + platform::FormatInteger(result.Status) + ", " + type + ", " +
                                 platform::FormatInteger(static_cast<int64_t>(body.size())) + " bytes";
      if (result.Ok) {
        report = answer + ": a tile.";
      } else if (!result.TileProblem.empty()) {
        report = answer + ": no tile (" + result.TileProblem + ").";
      } else if (result.Status != 0) {
        report = result.ErrorText + ", " + type + ": no tile.";
      } else {
        report = result.ErrorText;
      }
    } catch (const std::exception& error) {
      report = error.what();
    }
    return [this, report] {
      LabelTest->setText(FromLocal(report));
      ButtonTest->setEnabled(true);
    };
  });
}
