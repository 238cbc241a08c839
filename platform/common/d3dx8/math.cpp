// D3DX matrix and vector maths.
//
// Conventions, as D3DX documents them: row vectors (a point is transformed as
// v * M, so the translation sits in _41 _42 _43), a left-handed coordinate system
// (+z goes into the screen), angles in radians. D3DXMatrixMultiply(out, A, B) is
// A * B, which applies A first. Every function returns its output pointer and
// works when the output is one of its inputs.
#include <cmath>
#include <cstring>

#include "d3dx8.h"

namespace {

D3DXMATRIX identity() {
    D3DXMATRIX m;
    std::memset(&m, 0, sizeof m);
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

D3DXMATRIX product(const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DXMATRIX out;
    for (int row = 0; row < 4; ++row) {
        for (int col = 0; col < 4; ++col) {
            out.m[row][col] = a.m[row][0] * b.m[0][col] + a.m[row][1] * b.m[1][col] +
                              a.m[row][2] * b.m[2][col] + a.m[row][3] * b.m[3][col];
        }
    }
    return out;
}

D3DXVECTOR3 cross(const D3DVECTOR& a, const D3DVECTOR& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

float dot(const D3DVECTOR& a, const D3DVECTOR& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

D3DXVECTOR3 normalized(const D3DVECTOR& v) {
    const float length = std::sqrt(dot(v, v));
    if (length == 0.0f) return {0.0f, 0.0f, 0.0f};  // a zero vector stays zero rather than NaN
    return {v.x / length, v.y / length, v.z / length};
}

// The 2 x 2 minors of the lower two rows are shared by the cofactors of the
// upper two rows and vice versa; computing them once gives the inverse (the
// adjugate over the determinant) in a few dozen products. Doubles keep the
// cancellation in nearly singular matrices from losing the result.
struct Minors {
    double s[6];  // from rows 0 and 1
    double c[6];  // from rows 2 and 3
};

Minors minors(const D3DMATRIX& a) {
    auto m = [&](int r, int col) { return static_cast<double>(a.m[r][col]); };
    Minors n;
    n.s[0] = m(0, 0) * m(1, 1) - m(1, 0) * m(0, 1);
    n.s[1] = m(0, 0) * m(1, 2) - m(1, 0) * m(0, 2);
    n.s[2] = m(0, 0) * m(1, 3) - m(1, 0) * m(0, 3);
    n.s[3] = m(0, 1) * m(1, 2) - m(1, 1) * m(0, 2);
    n.s[4] = m(0, 1) * m(1, 3) - m(1, 1) * m(0, 3);
    n.s[5] = m(0, 2) * m(1, 3) - m(1, 2) * m(0, 3);
    n.c[5] = m(2, 2) * m(3, 3) - m(3, 2) * m(2, 3);
    n.c[4] = m(2, 1) * m(3, 3) - m(3, 1) * m(2, 3);
    n.c[3] = m(2, 1) * m(3, 2) - m(3, 1) * m(2, 2);
    n.c[2] = m(2, 0) * m(3, 3) - m(3, 0) * m(2, 3);
    n.c[1] = m(2, 0) * m(3, 2) - m(3, 0) * m(2, 2);
    n.c[0] = m(2, 0) * m(3, 1) - m(3, 0) * m(2, 1);
    return n;
}

double determinant(const Minors& n) {
    return n.s[0] * n.c[5] - n.s[1] * n.c[4] + n.s[2] * n.c[3] + n.s[3] * n.c[2] - n.s[4] * n.c[1] +
           n.s[5] * n.c[0];
}

// The adjugate (transposed cofactors), row by row.
void adjugate(const D3DMATRIX& a, const Minors& n, double out[4][4]) {
    auto m = [&](int r, int col) { return static_cast<double>(a.m[r][col]); };
    out[0][0] = m(1, 1) * n.c[5] - m(1, 2) * n.c[4] + m(1, 3) * n.c[3];
    out[0][1] = -m(0, 1) * n.c[5] + m(0, 2) * n.c[4] - m(0, 3) * n.c[3];
    out[0][2] = m(3, 1) * n.s[5] - m(3, 2) * n.s[4] + m(3, 3) * n.s[3];
    out[0][3] = -m(2, 1) * n.s[5] + m(2, 2) * n.s[4] - m(2, 3) * n.s[3];
    out[1][0] = -m(1, 0) * n.c[5] + m(1, 2) * n.c[2] - m(1, 3) * n.c[1];
    out[1][1] = m(0, 0) * n.c[5] - m(0, 2) * n.c[2] + m(0, 3) * n.c[1];
    out[1][2] = -m(3, 0) * n.s[5] + m(3, 2) * n.s[2] - m(3, 3) * n.s[1];
    out[1][3] = m(2, 0) * n.s[5] - m(2, 2) * n.s[2] + m(2, 3) * n.s[1];
    out[2][0] = m(1, 0) * n.c[4] - m(1, 1) * n.c[2] + m(1, 3) * n.c[0];
    out[2][1] = -m(0, 0) * n.c[4] + m(0, 1) * n.c[2] - m(0, 3) * n.c[0];
    out[2][2] = m(3, 0) * n.s[4] - m(3, 1) * n.s[2] + m(3, 3) * n.s[0];
    out[2][3] = -m(2, 0) * n.s[4] + m(2, 1) * n.s[2] - m(2, 3) * n.s[0];
    out[3][0] = -m(1, 0) * n.c[3] + m(1, 1) * n.c[1] - m(1, 2) * n.c[0];
    out[3][1] = m(0, 0) * n.c[3] - m(0, 1) * n.c[1] + m(0, 2) * n.c[0];
    out[3][2] = -m(3, 0) * n.s[3] + m(3, 1) * n.s[1] - m(3, 2) * n.s[0];
    out[3][3] = m(2, 0) * n.s[3] - m(2, 1) * n.s[1] + m(2, 2) * n.s[0];
}

}  // namespace

// ---------------------------------------------------------------------------
// D3DXMATRIX members

D3DXMATRIX::D3DXMATRIX(float f11, float f12, float f13, float f14, float f21, float f22, float f23,
                       float f24, float f31, float f32, float f33, float f34, float f41, float f42,
                       float f43, float f44) {
    _11 = f11, _12 = f12, _13 = f13, _14 = f14;
    _21 = f21, _22 = f22, _23 = f23, _24 = f24;
    _31 = f31, _32 = f32, _33 = f33, _34 = f34;
    _41 = f41, _42 = f42, _43 = f43, _44 = f44;
}

D3DXMATRIX D3DXMATRIX::operator*(const D3DXMATRIX& mat) const { return product(*this, mat); }

D3DXMATRIX& D3DXMATRIX::operator*=(const D3DXMATRIX& mat) {
    *this = product(*this, mat);
    return *this;
}

// Element by element, as floats compare (so -0 equals 0 and NaN equals nothing).
bool D3DXMATRIX::operator==(const D3DXMATRIX& mat) const {
    for (int row = 0; row < 4; ++row) {
        for (int col = 0; col < 4; ++col) {
            if (m[row][col] != mat.m[row][col]) return false;
        }
    }
    return true;
}

// ---------------------------------------------------------------------------
// Matrices

D3DXMATRIX* D3DXMatrixIdentity(D3DXMATRIX* pOut) {
    *pOut = identity();
    return pOut;
}

D3DXMATRIX* D3DXMatrixMultiply(D3DXMATRIX* pOut, const D3DXMATRIX* pM1, const D3DXMATRIX* pM2) {
    *pOut = product(*pM1, *pM2);  // the product is complete before pOut is written
    return pOut;
}

// Rotations turn counter-clockwise when looking from the positive axis towards
// the origin: with row vectors, X takes +y towards +z, Y takes +z towards +x and
// Z takes +x towards +y.
D3DXMATRIX* D3DXMatrixRotationX(D3DXMATRIX* pOut, float angle) {
    const float c = std::cos(angle);
    const float s = std::sin(angle);
    *pOut = identity();
    pOut->_22 = c;
    pOut->_23 = s;
    pOut->_32 = -s;
    pOut->_33 = c;
    return pOut;
}

D3DXMATRIX* D3DXMatrixRotationY(D3DXMATRIX* pOut, float angle) {
    const float c = std::cos(angle);
    const float s = std::sin(angle);
    *pOut = identity();
    pOut->_11 = c;
    pOut->_13 = -s;
    pOut->_31 = s;
    pOut->_33 = c;
    return pOut;
}

D3DXMATRIX* D3DXMatrixRotationZ(D3DXMATRIX* pOut, float angle) {
    const float c = std::cos(angle);
    const float s = std::sin(angle);
    *pOut = identity();
    pOut->_11 = c;
    pOut->_12 = s;
    pOut->_21 = -s;
    pOut->_22 = c;
    return pOut;
}

D3DXMATRIX* D3DXMatrixScaling(D3DXMATRIX* pOut, float sx, float sy, float sz) {
    *pOut = identity();
    pOut->_11 = sx;
    pOut->_22 = sy;
    pOut->_33 = sz;
    return pOut;
}

D3DXMATRIX* D3DXMatrixTranslation(D3DXMATRIX* pOut, float x, float y, float z) {
    *pOut = identity();
    pOut->_41 = x;
    pOut->_42 = y;
    pOut->_43 = z;
    return pOut;
}

D3DXMATRIX* D3DXMatrixTranspose(D3DXMATRIX* pOut, const D3DXMATRIX* pM) {
    D3DXMATRIX t;
    for (int row = 0; row < 4; ++row) {
        for (int col = 0; col < 4; ++col) t.m[row][col] = pM->m[col][row];
    }
    *pOut = t;
    return pOut;
}

// Returns null, leaving pOut alone, when the matrix has no inverse (a zero
// determinant); the determinant is still written when asked for.
D3DXMATRIX* D3DXMatrixInverse(D3DXMATRIX* pOut, float* pDeterminant, const D3DXMATRIX* pM) {
    const Minors n = minors(*pM);
    const double det = determinant(n);
    if (pDeterminant) *pDeterminant = static_cast<float>(det);
    if (det == 0.0 || !std::isfinite(det)) return nullptr;
    double adj[4][4];
    adjugate(*pM, n, adj);
    const double scale = 1.0 / det;
    D3DXMATRIX inverse;
    for (int row = 0; row < 4; ++row) {
        for (int col = 0; col < 4; ++col) inverse.m[row][col] = static_cast<float>(adj[row][col] * scale);
    }
    *pOut = inverse;
    return pOut;
}

// The view matrix of a camera at `eye` looking at `at`: its rows hold the camera's
// axes as columns, so a world point comes out in camera space (+z ahead, +y up).
D3DXMATRIX* D3DXMatrixLookAtLH(D3DXMATRIX* pOut, const D3DXVECTOR3* pEye, const D3DXVECTOR3* pAt,
                               const D3DXVECTOR3* pUp) {
    const D3DXVECTOR3 zaxis = normalized(*pAt - *pEye);
    const D3DXVECTOR3 xaxis = normalized(cross(*pUp, zaxis));
    const D3DXVECTOR3 yaxis = cross(zaxis, xaxis);
    *pOut = D3DXMATRIX(xaxis.x, yaxis.x, zaxis.x, 0.0f,
                       xaxis.y, yaxis.y, zaxis.y, 0.0f,
                       xaxis.z, yaxis.z, zaxis.z, 0.0f,
                       -dot(xaxis, *pEye), -dot(yaxis, *pEye), -dot(zaxis, *pEye), 1.0f);
    return pOut;
}

// Maps camera-space z = zn to depth 0 and z = zf to depth 1 (after the divide by
// w, which is the camera-space z). fovy is the full vertical angle; aspect is
// width / height.
D3DXMATRIX* D3DXMatrixPerspectiveFovLH(D3DXMATRIX* pOut, float fovy, float aspect, float zn, float zf) {
    const float yScale = 1.0f / std::tan(fovy / 2.0f);
    const float xScale = yScale / aspect;
    const float depth = zf / (zf - zn);
    std::memset(pOut, 0, sizeof *pOut);
    pOut->_11 = xScale;
    pOut->_22 = yScale;
    pOut->_33 = depth;
    pOut->_34 = 1.0f;
    pOut->_43 = -zn * depth;
    return pOut;
}

// ---------------------------------------------------------------------------
// Vectors

// (x, y, z, 1) * M, divided by the resulting w.
D3DXVECTOR3* D3DXVec3TransformCoord(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV, const D3DXMATRIX* pM) {
    const D3DXVECTOR3 v = *pV;
    const D3DXMATRIX& m = *pM;
    const float x = v.x * m._11 + v.y * m._21 + v.z * m._31 + m._41;
    const float y = v.x * m._12 + v.y * m._22 + v.z * m._32 + m._42;
    const float z = v.x * m._13 + v.y * m._23 + v.z * m._33 + m._43;
    const float w = v.x * m._14 + v.y * m._24 + v.z * m._34 + m._44;
    *pOut = D3DXVECTOR3(x / w, y / w, z / w);
    return pOut;
}

// (x, y, z, 0) * M: the upper 3 x 3 only. The result is not normalised, and a
// matrix with non-uniform scale needs its inverse transpose passed instead.
D3DXVECTOR3* D3DXVec3TransformNormal(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV, const D3DXMATRIX* pM) {
    const D3DXVECTOR3 v = *pV;
    const D3DXMATRIX& m = *pM;
    *pOut = D3DXVECTOR3(v.x * m._11 + v.y * m._21 + v.z * m._31,
                        v.x * m._12 + v.y * m._22 + v.z * m._32,
                        v.x * m._13 + v.y * m._23 + v.z * m._33);
    return pOut;
}

D3DXVECTOR3* D3DXVec3Normalize(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV) {
    *pOut = normalized(*pV);
    return pOut;
}

D3DXVECTOR3* D3DXVec3Cross(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV1, const D3DXVECTOR3* pV2) {
    *pOut = cross(*pV1, *pV2);
    return pOut;
}

float D3DXVec3Dot(const D3DXVECTOR3* pV1, const D3DXVECTOR3* pV2) { return dot(*pV1, *pV2); }

float D3DXVec3Length(const D3DXVECTOR3* pV) { return std::sqrt(dot(*pV, *pV)); }
