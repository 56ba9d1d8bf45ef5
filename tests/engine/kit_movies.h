// Small helpers over the authoring kit for the engine tests.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "engine/player.h"
#include "engine/timeline/timeline.h"
#include "tools/swfkit/swfkit.h"

namespace lumarel::enginetest {

namespace kit = lumarel::swfkit;

inline std::unique_ptr<engine::Movie> LoadKit(const kit::Movie& m, kit::Compression c = kit::Compression::None) {
    const kit::Bytes b = m.Build(c);
    engine::LoadResult r = engine::Movie::Load(b);
    EXPECT_TRUE(r.movie) << r.error;
    return std::move(r.movie);
}

inline uint16_t Square(kit::Movie& m, kit::Rgba c, int sizePx = 20, int version = 3) {
    kit::ShapeBuilder s;
    s.Style(s.AddFill(kit::FillStyle::Solid(c))).Rectangle(0, 0, kit::Px(sizePx), kit::Px(sizePx));
    return m.DefineShape(s, version);
}

inline const engine::timeline::Instance& Root(const engine::Movie& m) { return m.Stage().Root(); }

}  // namespace lumarel::enginetest
