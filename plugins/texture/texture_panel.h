#pragma once
// The texture plug-in's panel: the texture's fields in one line, the image (fit to the view or
// at a fixed zoom, over a checkerboard that shows its transparency or over the plain
// background) and a line for what went wrong. The panel only shows; it never edits the asset.

#include <QImage>
#include <QWidget>

#include <cstdint>
#include <span>
#include <string>

class QCheckBox;
class QLabel;
class QScrollArea;
class QToolButton;

namespace kestrova::texture {

class TextureView;

class TexturePanel : public QWidget {
public:
    TexturePanel(QWidget* parent, std::span<const std::uint8_t> body);

    // Shows `text` in the message line (a refused import, say); empty hides the line.
    void ShowMessage(const std::string& text);

private:
    void SetFit(bool fit);
    void SetZoom(double zoom);
    void RefreshZoomText();

    TextureView* view_ = nullptr;
    QScrollArea* scrollArea_ = nullptr;
    QLabel* message_ = nullptr;
    QLabel* zoomText_ = nullptr;
    QToolButton* fitButton_ = nullptr;
};

}  // namespace kestrova::texture
