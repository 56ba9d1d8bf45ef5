#include "engine/raster/stroker.h"

#include <algorithm>
#include <cmath>

namespace lumarel::raster::detail {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Number of segments for an arc of `angle` radians at radius r within tolerance tol.
int ArcSegments(double r, double angle, double tol) {
    if (r <= tol) return std::max(1, static_cast<int>(std::ceil(std::fabs(angle) / (kPi / 2))));
    const double step = 2.0 * std::acos(std::max(-1.0, 1.0 - tol / r));
    const int n = static_cast<int>(std::ceil(std::fabs(angle) / std::max(step, 1e-3)));
    return std::clamp(n, 1, 256);
}

// Arc around c from angle a0 sweeping `sweep` radians; appends the points after the start.
void Arc(std::vector<Pt>& out, Pt c, double r, double a0, double sweep, double tol) {
    const int n = ArcSegments(r, sweep, tol);
    for (int i = 1; i <= n; ++i) {
        const double a = a0 + sweep * i / n;
        out.push_back({c.x + r * std::cos(a), c.y + r * std::sin(a)});
    }
}

struct Ctx {
    const StrokeStyle& st;
    std::vector<Pt>& out;
};

// Outer/inner join at vertex v between direction u0 (incoming) and u1 (outgoing), on the side
// with normal sign `side` (+1: left normal (-u.y, u.x)). Appends points after v+side*n0.
void JoinPoints(Ctx& c, Pt v, Pt u0, Pt u1, double side) {
    const double r = c.st.halfWidth;
    const Pt n0{-u0.y * r * side, u0.x * r * side};
    const Pt n1{-u1.y * r * side, u1.x * r * side};
    const double cross = u0.x * u1.y - u0.y * u1.x;
    const double dot = u0.x * u1.x + u0.y * u1.y;
    // The +normal side is the inner side of a turn with positive cross product.
    const bool inner = cross * side > 0;
    if (std::fabs(cross) < 1e-12 && dot > 0) {  // straight on
        c.out.push_back({v.x + n1.x, v.y + n1.y});
        return;
    }
    if (inner) {
        c.out.push_back(v);
        c.out.push_back({v.x + n1.x, v.y + n1.y});
        return;
    }
    switch (c.st.join) {
        case Join::Miter: {
            // Miter length over stroke width is 1 / sin(half the angle between the segments).
            const double cosHalf = std::sqrt(std::max(0.0, (1.0 + dot) / 2.0));
            if (cosHalf > 1e-9 && 1.0 / cosHalf <= c.st.miterLimit) {
                const double k = 1.0 / (1.0 + dot);
                c.out.push_back({v.x + (n0.x + n1.x) * k, v.y + (n0.y + n1.y) * k});
            }
            c.out.push_back({v.x + n1.x, v.y + n1.y});
            return;
        }
        case Join::Bevel:
            c.out.push_back({v.x + n1.x, v.y + n1.y});
            return;
        case Join::Round: {
            const double a0 = std::atan2(n0.y, n0.x);
            double sweep = std::atan2(n1.y, n1.x) - a0;
            // Sweep the short way round on the outer side.
            while (sweep > kPi) sweep -= 2 * kPi;
            while (sweep < -kPi) sweep += 2 * kPi;
            // A shallow turn looks the same bevelled; skips arcs on flattened curves.
            if (r * (1.0 - std::cos(sweep / 2)) < c.st.tolerance * 0.5) {
                c.out.push_back({v.x + n1.x, v.y + n1.y});
                return;
            }
            Arc(c.out, v, r, a0, sweep, c.st.tolerance);
            return;
        }
    }
}

// Cap at p, direction u pointing out of the stroke; from p + n to p - n where n = left normal.
void CapPoints(Ctx& c, Pt p, Pt u, Cap cap) {
    const double r = c.st.halfWidth;
    const Pt n{-u.y * r, u.x * r};
    switch (cap) {
        case Cap::None:
            break;
        case Cap::Square:
            c.out.push_back({p.x + n.x + u.x * r, p.y + n.y + u.y * r});
            c.out.push_back({p.x - n.x + u.x * r, p.y - n.y + u.y * r});
            break;
        case Cap::Round: {
            const double a0 = std::atan2(n.y, n.x);
            // From +n through +u to -n: +u is a quarter turn clockwise of n in these coordinates.
            const double sweep = (n.x * u.y - n.y * u.x) > 0 ? kPi : -kPi;
            Arc(c.out, p, r, a0, sweep, c.st.tolerance);  // ends at p - n
            return;
        }
    }
    c.out.push_back({p.x - n.x, p.y - n.y});
}

Pt Dir(Pt a, Pt b) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double l = std::sqrt(dx * dx + dy * dy);
    return {dx / l, dy / l};
}

// One side (+left normal) of the path p[0..n), with joins at interior vertices.
void Side(Ctx& c, const std::vector<Pt>& p, size_t n, bool closed) {
    const double r = c.st.halfWidth;
    if (closed) {
        // Start mid-join at p[0]: incoming from p[n-1].
        Pt uPrev = Dir(p[n - 1], p[0]);
        Pt u = Dir(p[0], p[1]);
        c.out.push_back({p[0].x - uPrev.y * r, p[0].y + uPrev.x * r});
        JoinPoints(c, p[0], uPrev, u, 1.0);
        for (size_t i = 1; i < n; ++i) {
            const Pt un = Dir(p[i], p[(i + 1) % n]);
            c.out.push_back({p[i].x - u.y * r, p[i].y + u.x * r});
            JoinPoints(c, p[i], u, un, 1.0);
            u = un;
        }
        return;
    }
    Pt u = Dir(p[0], p[1]);
    c.out.push_back({p[0].x - u.y * r, p[0].y + u.x * r});
    for (size_t i = 1; i + 1 < n; ++i) {
        const Pt un = Dir(p[i], p[i + 1]);
        c.out.push_back({p[i].x - u.y * r, p[i].y + u.x * r});
        JoinPoints(c, p[i], u, un, 1.0);
        u = un;
    }
    c.out.push_back({p[n - 1].x - u.y * r, p[n - 1].y + u.x * r});
}

}  // namespace

void StrokePolyline(const std::vector<Pt>& in, bool closed, const StrokeStyle& st, std::vector<Pt>& out,
                    std::vector<size_t>& contourEnds) {
    if (!(st.halfWidth > 0) || !std::isfinite(st.halfWidth)) return;
    // Drop non-finite and (near) duplicate points.
    std::vector<Pt> p;
    p.reserve(in.size());
    const double eps = 1e-6;
    for (const Pt& q : in) {
        if (!std::isfinite(q.x) || !std::isfinite(q.y)) continue;
        if (!p.empty() && std::fabs(q.x - p.back().x) < eps && std::fabs(q.y - p.back().y) < eps) continue;
        p.push_back(q);
    }
    if (closed && p.size() > 1 && std::fabs(p.front().x - p.back().x) < eps &&
        std::fabs(p.front().y - p.back().y) < eps)
        p.pop_back();
    if (p.empty()) return;
    Ctx c{st, out};
    const double r = st.halfWidth;
    if (p.size() == 1) {
        // A dot: caps only.
        const Pt q = p[0];
        if (st.startCap == Cap::Round) {
            Arc(out, q, r, 0, 2 * kPi, st.tolerance);
            contourEnds.push_back(out.size());
        } else if (st.startCap == Cap::Square) {
            out.push_back({q.x - r, q.y - r});
            out.push_back({q.x + r, q.y - r});
            out.push_back({q.x + r, q.y + r});
            out.push_back({q.x - r, q.y + r});
            contourEnds.push_back(out.size());
        }
        return;
    }
    if (closed && p.size() >= 3) {
        Side(c, p, p.size(), true);
        contourEnds.push_back(out.size());
        std::reverse(p.begin(), p.end());
        Side(c, p, p.size(), true);
        contourEnds.push_back(out.size());
        return;
    }
    // Open: left side forward, end cap, left side of the reversed path, start cap.
    const size_t n = p.size();
    Side(c, p, n, false);
    CapPoints(c, p[n - 1], Dir(p[n - 2], p[n - 1]), st.endCap);
    std::reverse(p.begin(), p.end());
    Side(c, p, n, false);
    CapPoints(c, p[n - 1], Dir(p[n - 2], p[n - 1]), st.startCap);
    contourEnds.push_back(out.size());
}

}  // namespace lumarel::raster::detail
