#include "ui/PluginPanel.h"

#include "base/Debug.h"
#include "base/Translate.h"
#include "ui/PropertiesView.h"
#include "ui/TranslateWidgets.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int FlashMilliseconds = 100;
constexpr int MaxFaceLength = 31;

QColor ColourOf(uint32_t colour) { return QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF); }

QFont ElementFont(const CPluginUITemplateElement& element) {
    QFont font(element.fontFace.left(MaxFaceLength));
    font.setPointSize(std::max(1, element.fontSize));
    font.setWeight(QFont::Bold);
    return font;
}

bool IsStaticKind(const CPluginUITemplateElement& element) {
    return element.type >= ElementStatic && element.type <= ElementPage;
}

// The data editor's icons: valid, not valid, then one per item type (text, table, image).
QIcon DataIcon(int which) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    switch (which) {
    case 0:  // valid: a green tick
        painter.setPen(QPen(QColor(0, 150, 0), 2.5));
        painter.drawPolyline(QPolygonF({QPointF(3, 8), QPointF(7, 12), QPointF(13, 4)}));
        break;
    case 1:  // not valid: a red cross
        painter.setPen(QPen(QColor(200, 0, 0), 2.5));
        painter.drawLine(4, 4, 12, 12);
        painter.drawLine(12, 4, 4, 12);
        break;
    case 2 + DataText:
        painter.setFont(QFont(QStringLiteral("DejaVu Serif"), 9, QFont::Bold));
        painter.drawText(pixmap.rect(), Qt::AlignCenter, QStringLiteral("T"));
        break;
    case 2 + DataTable:
        painter.setPen(QColor(60, 60, 60));
        for (int k = 0; k <= 3; ++k) {
            painter.drawLine(2, 3 + k * 3, 14, 3 + k * 3);
            painter.drawLine(2 + k * 4, 3, 2 + k * 4, 12);
        }
        break;
    case 2 + DataImage:
        painter.fillRect(QRect(2, 3, 12, 10), QColor(90, 150, 220));
        painter.setBrush(QColor(60, 160, 60));
        painter.setPen(Qt::NoPen);
        painter.drawPolygon(QPolygonF({QPointF(2, 13), QPointF(7, 7), QPointF(11, 13)}));
        break;
    default: break;
    }
    return QIcon(pixmap);
}

}  // namespace

// ---------------------------------------------------------------- static controls

CPluginUIStatic::CPluginUIStatic(const CPluginUITemplateElement& element, int elementIndex, QWidget* parent)
    : QLabel(parent),
      element_(element),
      index_(elementIndex),
      clickable_(element.type == ElementButton || element.type == ElementPage),
      transparent_(element.inactiveColor == 0 && element.activeColor == 0) {
    setAlignment(Qt::AlignCenter);
    setFont(ElementFont(element));
    setText(element.content);
    if (clickable_) setCursor(Qt::PointingHandCursor);
}

void CPluginUIStatic::SetActive(bool active) {
    if (active == active_) return;
    active_ = active;
    if (active) since_.start();
    repaint();  // at once: a button's flash is shorter than the next paint cycle may be
}

QColor CPluginUIStatic::Background() const {
    if (transparent_) return QColor();
    return ColourOf(active_ ? element_.activeColor : element_.inactiveColor);
}

void CPluginUIStatic::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QColor background = Background();
    painter.fillRect(rect(), background.isValid() ? background : palette().color(QPalette::Window));
    painter.setPen(ColourOf(element_.color));
    painter.setFont(font());
    painter.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap, text());
}

void CPluginUIStatic::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && clickable_ && clicked) clicked(index_);
}

// ---------------------------------------------------------------- the panel

CDlgPlugin::CDlgPlugin(CMainDoc& document, CPlugin& plugin, std::unique_ptr<IXKTransport> keypad, QWidget* parent)
    : QDialog(parent), CPluginPageHost(document), document_(document), plugin_(plugin), control_(plugin, *this) {
    setObjectName(QStringLiteral("pluginPanel"));
    setWindowTitle(QStringLiteral("Sport Control Center"));
    Build();
    if (keypad)
        keypad_ = std::make_unique<CXKController>(
            std::move(keypad), CXKController::KeyTarget(this, [this](int key, int pressed) {
                CDebug::Log(3, "CDlgPlugin::OnXKControllerKey(%d, %d)", key, pressed);
                control_.OnKeypadKey(key, pressed);
            }));
    RefreshElements();
    RefreshVariables(QString());
    timer_.setInterval(100);
    connect(&timer_, &QTimer::timeout, this, [this] { Tick(); });
    timer_.start();
}

CDlgPlugin::~CDlgPlugin() {
    timer_.stop();
    keypad_.reset();
}

void CDlgPlugin::Build() {
    TranslateWidgets::TranslateWindow(DialogId, this);
    const QScreen* screen = this->screen();
    const int dpiX = screen && screen->logicalDotsPerInchX() > 0 ? int(screen->logicalDotsPerInchX()) : 96;
    const int dpiY = screen && screen->logicalDotsPerInchY() > 0 ? int(screen->logicalDotsPerInchY()) : 96;
    const auto& elements = plugin_.Elements();
    int statics = 0, selectors = 0;
    for (size_t k = 0; k < elements.size(); ++k) {
        const CPluginUITemplateElement& e = *elements[k];
        const int left = e.x * dpiX / 96, top = e.y * dpiX / 96;
        const QRect place(left, top, e.width * dpiX / 96, e.height * dpiX / 96);
        const int index = int(k);
        if (IsStaticKind(e)) {
            if (statics >= MaxControls) continue;
            auto* control = new CPluginUIStatic(e, index, this);
            control->setObjectName(QStringLiteral("ctl_%1").arg(FirstStaticId + statics++));
            control->setGeometry(place);
            control->clicked = [this](int element) { control_.DoAction(element); };
            statics_[index] = control;
        } else if (e.type == ElementSelector) {
            if (selectors >= MaxControls) continue;
            auto* box = new QComboBox(this);
            box->setObjectName(QStringLiteral("ctl_%1").arg(FirstSelectorId + selectors++));
            box->setFont(ElementFont(e));
            // The element's height is the drop-down's; the closed box keeps its own.
            box->setGeometry(place.left(), place.top(), place.width(), box->sizeHint().height());
            box->setMaxVisibleItems(std::max(3, place.height() / std::max(1, box->sizeHint().height())));
            connect(box, &QComboBox::currentIndexChanged, this, [this, index](int item) {
                if (filling_ || item < 0 || !plugin_.Elements()[size_t(index)]->selector) return;
                control_.SelectItem(*plugin_.Elements()[size_t(index)]->selector, item);
            });
            selectors_[index] = box;
        }
    }
    setFixedSize(plugin_.PanelWidth() * dpiX / 96, plugin_.PanelHeight() * dpiY / 96);
}

CPluginUIStatic* CDlgPlugin::Static(int elementIndex) const {
    const auto it = statics_.find(elementIndex);
    return it == statics_.end() ? nullptr : it->second;
}

QComboBox* CDlgPlugin::Selector(int elementIndex) const {
    const auto it = selectors_.find(elementIndex);
    return it == selectors_.end() ? nullptr : it->second;
}

void CDlgPlugin::OnPlaybackStatus(int pageIndex, int playing) {
    if (pageIndex >= 0 && size_t(pageIndex) < plugin_.Pages().size())
        CDebug::Log(3, "CDlgPlugin::OnPlaybackStatus(%d) = %d", pageIndex, playing);
    control_.OnPlaybackStatus(pageIndex, playing);
}

void CDlgPlugin::ButtonPressed(int elementIndex) {
    if (CPluginUIStatic* control = Static(elementIndex)) control->SetActive(true);
}

void CDlgPlugin::RunDataEditor() {
    CDlgPluginDataEditor editor(*this, plugin_);
    if (runDataEditor) runDataEditor(editor);
    else editor.exec();
}

void CDlgPlugin::RefreshVariables(const QString& id) {
    for (auto& [index, control] : statics_) {
        const CPluginUITemplateElement& e = control->Element();
        if (e.type != ElementVar || !e.variable || (!id.isEmpty() && e.variable->id != id)) continue;
        control->setText(QString::number(e.variable->value));
    }
}

void CDlgPlugin::RefreshElements() {
    for (auto& [index, control] : statics_) {
        const CPluginUITemplateElement& e = control->Element();
        if (e.type == ElementText && e.data) control->setText(e.data->value);
        if (keypad_ && e.keypadKey > 0) keypad_->SetKeyLight(e.keypadKey - 1, KeyLightAssigned);
    }
    filling_ = true;
    for (auto& [index, box] : selectors_) {
        const CPluginSelector* selector = plugin_.Elements()[size_t(index)]->selector;
        if (!selector) continue;
        box->clear();
        box->addItems(selector->items);
        box->setCurrentIndex(selector->selection < box->count() ? selector->selection : -1);
    }
    filling_ = false;
    if (keypad_) keypad_->UpdateBacklights();
}

void CDlgPlugin::SetElementActive(int elementIndex, bool active) {
    if (CPluginUIStatic* control = Static(elementIndex)) control->SetActive(active);
}

void CDlgPlugin::SetKeyLight(int key, int state) {
    if (!keypad_) return;
    keypad_->SetKeyLight(key, state);
    keypad_->UpdateBacklights();
}

void CDlgPlugin::Tick() {
    // A button flashes in its active colour for one to two ticks.
    for (auto& [index, control] : statics_)
        if (control->Element().type == ElementButton && control->Active() && control->ActiveFor() >= FlashMilliseconds)
            control->SetActive(false);
    if (keypad_ && !keypad_->IsOpen()) keypad_->Open();
}

void CDlgPlugin::keyPressEvent(QKeyEvent* event) {
    // The panel stays open on Enter and Esc: only its close box ends it.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    if (event->key() >= Qt::Key_F1 && event->key() <= Qt::Key_F12)
        control_.OnFunctionKey(event->key() - Qt::Key_F1 + 1);
    QDialog::keyPressEvent(event);
}

// ---------------------------------------------------------------- data editor

CDlgPluginDataEditor::CDlgPluginDataEditor(CDlgPlugin& panel, CPlugin& plugin)
    : QDialog(&panel), panel_(panel), plugin_(plugin) {
    setObjectName(QStringLiteral("pluginDataEditor"));
    setWindowTitle(QStringLiteral("Data Editor"));
    auto* layout = new QVBoxLayout(this);
    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("ctl_%1").arg(ControlList));
    list_->setRootIsDecorated(false);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setColumnCount(4);
    CTranslate& translate = CTranslate::Global();
    list_->setHeaderLabels({translate.LoadText(12600), translate.LoadText(12601), translate.LoadText(12602),
                            translate.LoadText(12603)});
    const int widths[] = {40, 140, 220, 64};
    for (int column = 0; column < 4; ++column) list_->setColumnWidth(column, widths[column]);
    layout->addWidget(list_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::accept);
    layout->addWidget(buttons);
    connect(list_, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item) { EditRow(list_->indexOfTopLevelItem(item)); });
    resize(500, 320);
    TranslateWidgets::TranslateWindow(DialogId, this);
    Fill();
}

void CDlgPluginDataEditor::Fill() {
    list_->clear();
    for (const auto& item : plugin_.Data()) {
        auto* row = new QTreeWidgetItem(list_);
        row->setIcon(0, DataIcon(2 + item->type));
        row->setText(1, item->name);
        row->setText(2, item->type == DataText ? item->value : QFileInfo(item->value).completeBaseName());
        row->setIcon(3, DataIcon(item->valid ? 0 : 1));
        row->setToolTip(3, item->problem);
    }
}

void CDlgPluginDataEditor::EditRow(int row) {
    if (row < 0 || size_t(row) >= plugin_.Data().size()) return;
    CPluginData& item = *plugin_.Data()[size_t(row)];
    CTranslate& translate = CTranslate::Global();
    if (item.type == DataText) {
        std::optional<QString> text;
        if (panel_.editText) {
            text = panel_.editText(item);
        } else {
            bool ok = false;
            const QString typed = QInputDialog::getText(this, QStringLiteral("Text"), item.name, QLineEdit::Normal,
                                                        item.value, &ok);
            if (ok) text = typed;
        }
        if (!text) return;
        panel_.Control().SetText(item, *text);
    } else {
        const QString type = item.type == DataTable ? QStringLiteral("CSV") : static_cast<CPluginDataImage&>(item).imageType;
        const QString pattern =
            item.type == DataTable ? QStringLiteral("*.csv") : QStringLiteral("*.") + static_cast<CPluginDataImage&>(item).imageType;
        const QString filter = PropertiesFileDialog::QtFilter(translate.FormatText(10212, {type, pattern}));
        const QString start = item.value.isEmpty() ? plugin_.Folder() : item.value;
        const QString path = panel_.chooseFile ? panel_.chooseFile(item, filter)
                                               : QFileDialog::getOpenFileName(this, QString(), start, filter);
        if (path.isEmpty()) return;
        if (panel_.Control().ChooseFile(item, path) == 0) translate.MessageBoxFormat(10311, MbIconError, {path});
    }
    Fill();
}
