#include "plugins/texture/texture_panel.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>
#include <functional>
#include <utility>

#include "plugins/support/long_conversion.h"
#include "plugins/texture/texture_body.h"
#include "plugins/texture/texture_codec.h"
#include "plugins/texture/zoom_steps.h"

namespace kestrova::texture {

// Paints the image centred at its zoom. In fit mode it takes the size the scroll area gives it;
// at a fixed zoom it is exactly as large as the zoomed image, and the scroll area scrolls it.
class TextureView : public QWidget {
public:
    TextureView(QImage image, std::function<void()> fitChanged)
        : image_(std::move(image)), fitChanged_(std::move(fitChanged)) {
        QPixmap tile(16, 16);
        tile.fill(QColor(204, 204, 204));
        QPainter tilePainter(&tile);
        tilePainter.fillRect(0, 0, 8, 8, QColor(153, 153, 153));
        tilePainter.fillRect(8, 8, 8, 8, QColor(153, 153, 153));
        checker_ = QBrush(tile);
    }

    bool hasImage() const { return !image_.isNull(); }
    double zoom() const {
        return fit_ ? FitZoom(static_cast<std::uint32_t>(image_.width()),
                              static_cast<std::uint32_t>(image_.height()), width(), height())
                    : zoom_;
    }
    void SetFit(bool fit) {
        fit_ = fit;
        update();
    }
    void SetZoom(double zoom) {
        zoom_ = zoom;
        resize(ZoomedSize());
        update();
    }
    void SetCheckerboard(bool on) {
        checkerboard_ = on;
        update();
    }
    QSize sizeHint() const override { return ZoomedSize(); }

protected:
    void paintEvent(QPaintEvent*) override {
        if (image_.isNull()) {
            return;
        }
        const double z = zoom();
        const QSizeF size(image_.width() * z, image_.height() * z);
        const QRectF target(QPointF((width() - size.width()) / 2, (height() - size.height()) / 2),
                            size);
        QPainter painter(this);
        if (checkerboard_) {
            painter.setBrushOrigin(target.topLeft());
            painter.fillRect(target, checker_);
        }
        // Enlarged pixels stay sharp squares; reductions are smoothed.
        painter.setRenderHint(QPainter::SmoothPixmapTransform, z < 1);
        painter.drawImage(target, image_);
    }
    void resizeEvent(QResizeEvent*) override {
        if (fit_ && fitChanged_) {
            fitChanged_();
        }
    }

private:
    QSize ZoomedSize() const {
        return {std::max(1, static_cast<int>(std::ceil(image_.width() * zoom_))),
                std::max(1, static_cast<int>(std::ceil(image_.height() * zoom_)))};
    }

    QImage image_;
    std::function<void()> fitChanged_;
    QBrush checker_;
    double zoom_ = 1;
    bool fit_ = true;
    bool checkerboard_ = true;
};

namespace {

QImage ToQImage(const RgbaImage& pixels) {
    if (pixels.pixels.empty()) {
        return {};
    }
    // The conversion copies, so the QImage does not point into `pixels`.
    return QImage(pixels.pixels.data(), static_cast<int>(pixels.width),
                  static_cast<int>(pixels.height), static_cast<qsizetype>(pixels.width) * 4,
                  QImage::Format_RGBA8888)
        .convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QToolButton* AddButton(QHBoxLayout* row, QWidget* owner, const char* text, const char* name,
                       const char* tip) {
    auto* button = new QToolButton(owner);
    button->setText(QString::fromUtf8(text));
    button->setToolTip(QString::fromUtf8(tip));
    button->setObjectName(QString::fromUtf8(name));
    row->addWidget(button);
    return button;
}

}  // namespace

TexturePanel::TexturePanel(TextureSession& session, QWidget* parent)
    : QWidget(parent), session_(session) {
    setObjectName("texturePanel");
    const TextureParse parsed = session_.Parse();
    QImage image;
    if (parsed.usable()) {
        // A large texture takes a while to decode: the window answers meanwhile. The decode
        // runs to its end, so the picture is shown even when the dialog's Cancel was pressed.
        plugin::RunLongConversion([&] { image = ToQImage(DecodeTopLevel(parsed.texture)); });
    }

    auto* info = new QLabel(this);
    info->setObjectName("textureInfo");
    info->setTextInteractionFlags(Qt::TextSelectableByMouse);
    info->setWordWrap(true);
    info->setText(QString::fromStdString(DescribeTexture(parsed.texture)));
    info->setVisible(parsed.headerRead);

    auto* tools = new QHBoxLayout;
    fitButton_ = AddButton(tools, this, "Fit", "fitButton", "Fits the image into the view");
    fitButton_->setCheckable(true);
    fitButton_->setChecked(true);
    QToolButton* actualSize =
        AddButton(tools, this, "1:1", "actualSizeButton", "Shows the image at its size");
    QToolButton* zoomOut = AddButton(tools, this, "−", "zoomOutButton", "Zoom Out");
    QToolButton* zoomIn = AddButton(tools, this, "+", "zoomInButton", "Zoom In");
    zoomText_ = new QLabel(this);
    zoomText_->setObjectName("zoomText");
    zoomText_->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("3200 %")));
    tools->addWidget(zoomText_);
    auto* checkerboard = new QCheckBox(QStringLiteral("Checkerboard"), this);
    checkerboard->setObjectName("checkerboardBox");
    checkerboard->setToolTip(QStringLiteral("Shows transparent pixels over a checkerboard"));
    checkerboard->setChecked(true);
    tools->addWidget(checkerboard);
    tools->addStretch();

    message_ = new QLabel(this);
    message_->setObjectName("textureMessage");
    message_->setWordWrap(true);
    message_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    const bool hasImage = !image.isNull();
    view_ = new TextureView(std::move(image), [this] { RefreshZoomText(); });
    view_->setObjectName("textureView");
    scrollArea_ = new QScrollArea(this);
    scrollArea_->setObjectName("textureScrollArea");
    scrollArea_->setAlignment(Qt::AlignCenter);
    scrollArea_->setWidget(view_);
    scrollArea_->setWidgetResizable(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(info);
    layout->addLayout(tools);
    layout->addWidget(message_);
    layout->addWidget(scrollArea_, 1);

    for (QWidget* control : {static_cast<QWidget*>(fitButton_), static_cast<QWidget*>(actualSize),
                             static_cast<QWidget*>(zoomOut), static_cast<QWidget*>(zoomIn),
                             static_cast<QWidget*>(checkerboard)}) {
        control->setEnabled(hasImage);
    }
    connect(fitButton_, &QToolButton::toggled, this, [this](bool on) { SetFit(on); });
    connect(actualSize, &QToolButton::clicked, this, [this] { SetZoom(1); });
    connect(zoomIn, &QToolButton::clicked, this, [this] { SetZoom(ZoomInStep(view_->zoom())); });
    connect(zoomOut, &QToolButton::clicked, this, [this] { SetZoom(ZoomOutStep(view_->zoom())); });
    connect(checkerboard, &QCheckBox::toggled, this,
            [this](bool on) { view_->SetCheckerboard(on); });

    if (!parsed.usable()) {
        ShowMessage(parsed.problem);
    } else if (!hasImage) {
        ShowMessage("The texture holds no image.");
    } else {
        ShowMessage(session_.ImportNote());
    }
    RefreshZoomText();
    session_.Attach(this);
}

TexturePanel::~TexturePanel() {
    session_.Detach(this);
}

void TexturePanel::ShowMessage(const std::string& text) {
    message_->setText(QString::fromStdString(text));
    message_->setVisible(!text.empty());
}

bool TexturePanel::AllowConversion(const std::string& question) {
    return QMessageBox::question(this, QStringLiteral("Import"), QString::fromStdString(question),
                                 QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

void TexturePanel::SetFit(bool fit) {
    if (fit) {
        view_->SetFit(true);
        scrollArea_->setWidgetResizable(true);
    } else {
        SetZoom(view_->zoom());
    }
    RefreshZoomText();
}

void TexturePanel::SetZoom(double zoom) {
    // A fixed zoom leaves fit mode: the view takes the zoomed image's size and scrolls.
    view_->SetFit(false);
    fitButton_->blockSignals(true);
    fitButton_->setChecked(false);
    fitButton_->blockSignals(false);
    scrollArea_->setWidgetResizable(false);
    view_->SetZoom(zoom);
    RefreshZoomText();
}

void TexturePanel::RefreshZoomText() {
    if (!view_->hasImage()) {
        zoomText_->clear();
        return;
    }
    zoomText_->setText(QString::number(std::lround(view_->zoom() * 100)) + QStringLiteral(" %"));
}

}  // namespace kestrova::texture
