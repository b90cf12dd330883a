#pragma once

namespace vxr {

// Makes the global GL context the web engine expects, once, just before the first web
// view is created. The windows draw in software and the web engine then composites in
// software too, but as it starts it reads that context's format and crashes without one
// (Qt 6.4). Made here rather than at start, the GL driver it loads (about 90 MB with
// Mesa's software renderer) is paid for only once the log page is shown.
void prepareWebEngine();

} // namespace vxr
