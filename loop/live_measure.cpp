#include "loop/live_measure.h"

MeasureContext live_measure_context(const AppState& app) {
    return MeasureContext{&app.source_geometry, app.options.y_invert != 0,
                          app.calibrated ? &app.calibration_map : nullptr};
}

bool recalibrate(AppState& app, std::string& error) {
    ++app.calibration_version;
    app.calibrated = false;
    if (app.calibration.empty()) return true;
    if (!calibration_for(app, app.source_geometry, app.calibration_map, error)) return false;
    app.calibrated = true;
    return true;
}

bool calibration_for(const AppState& app, const SourceGeometry& geometry, CalibrationMap& out, std::string& error) {
    return compile_calibration(app.calibration, geometry.width, geometry.height, out, error);
}
