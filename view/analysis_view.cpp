// Placeholder body so that the window and application can be built while the
// view's logic is written; replaced by the real view.
#include "analysis_view.h"

#include <vector>

namespace vocalume {

struct CAnalysisView::Impl {
    SettingsStore& store;
    ViewHost* host = nullptr;
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    bool recording = false;
};

CAnalysisView::CAnalysisView(SettingsStore& store, AnalysisCore&) : m_impl(new Impl{store}) {}
CAnalysisView::~CAnalysisView() = default;
void CAnalysisView::OnCreate(ViewHost& host) { m_impl->host = &host; }
void CAnalysisView::OnSize(int width, int height)
{
    m_impl->width = width;
    m_impl->height = height;
    m_impl->rgb.assign(static_cast<size_t>(width * height * 3), 0);
}
void CAnalysisView::OnPaint() {}
void CAnalysisView::OnStart() { m_impl->recording = true; }
void CAnalysisView::OnPause() { m_impl->recording = false; }
void CAnalysisView::OnTimer() {}
void CAnalysisView::OnConfigure()
{
    ConfigValues v{"10", "3", 1, 1};
    if (m_impl->host)
        m_impl->host->RunConfigDialog(v);
}
void CAnalysisView::OnChar(int c)
{
    if (c == ' ')
        ToggleRecording();
}
void CAnalysisView::RedrawAll() {}
void CAnalysisView::ToggleRecording() { m_impl->recording ? OnPause() : OnStart(); }
void CAnalysisView::OnWimData() {}
bool CAnalysisView::IsRecording() const { return m_impl->recording; }
int CAnalysisView::SurfaceWidth() const { return m_impl->width; }
int CAnalysisView::SurfaceHeight() const { return m_impl->height; }
const uint8_t* CAnalysisView::SurfaceRgb() const { return m_impl->rgb.data(); }

}  // namespace vocalume
