// D3DX maths against the documented formulas: row vectors, left-handed.
#include <gtest/gtest.h>

#include <cmath>

#include "d3dx8.h"

namespace {

constexpr float kEpsilon = 1e-5f;

void expectNear(const D3DXVECTOR3& actual, float x, float y, float z, float epsilon = kEpsilon) {
    EXPECT_NEAR(actual.x, x, epsilon);
    EXPECT_NEAR(actual.y, y, epsilon);
    EXPECT_NEAR(actual.z, z, epsilon);
}

void expectMatrixNear(const D3DXMATRIX& actual, const D3DXMATRIX& expected, float epsilon = kEpsilon) {
    for (int row = 0; row < 4; ++row) {
        for (int col = 0; col < 4; ++col) {
            EXPECT_NEAR(actual(row, col), expected(row, col), epsilon) << "row " << row << ", col " << col;
        }
    }
}

D3DXMATRIX identity() {
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    return m;
}

// A matrix with no special structure (rotation, scale, shear, translation and a
// projective column), invertible.
D3DXMATRIX generalMatrix() {
    return D3DXMATRIX(2.0f, 0.5f, -1.0f, 0.1f,
                      0.3f, 1.5f, 0.25f, -0.2f,
                      -0.7f, 0.4f, 3.0f, 0.05f,
                      4.0f, -2.0f, 1.0f, 1.0f);
}

D3DXVECTOR3 transformCoord(const D3DXVECTOR3& v, const D3DXMATRIX& m) {
    D3DXVECTOR3 out;
    D3DXVec3TransformCoord(&out, &v, &m);
    return out;
}

TEST(D3DXMatrix, ConstructorFillsRowByRowAndCallOperatorReadsRowColumn) {
    const D3DXMATRIX m(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
    EXPECT_EQ(m._12, 2.0f);
    EXPECT_EQ(m._21, 5.0f);
    EXPECT_EQ(m._43, 15.0f);
    EXPECT_EQ(m(3, 2), 15.0f);
    EXPECT_EQ(m(0, 3), 4.0f);
}

TEST(D3DXMatrix, ProductIsRowTimesColumnAndOperatorsAgreeWithMultiply) {
    const D3DXMATRIX a(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
    const D3DXMATRIX b(2, 0, 0, 1, 0, 3, 1, 0, 1, 0, 1, 0, 0, 2, 0, 1);
    D3DXMATRIX viaFunction;
    D3DXMatrixMultiply(&viaFunction, &a, &b);
    // Row 0 of a = (1, 2, 3, 4); column 0 of b = (2, 0, 1, 0) -> 5; column 3 = (1, 0, 0, 1) -> 5.
    EXPECT_EQ(viaFunction._11, 5.0f);
    EXPECT_EQ(viaFunction._12, 1 * 0 + 2 * 3 + 3 * 0 + 4 * 2.0f);
    EXPECT_EQ(viaFunction._14, 5.0f);
    EXPECT_EQ(viaFunction._43, 14 * 1 + 15 * 1.0f);
    EXPECT_TRUE(a * b == viaFunction);
    D3DXMATRIX accumulated = a;
    accumulated *= b;
    EXPECT_TRUE(accumulated == viaFunction);
    EXPECT_TRUE(a * b != b * a);
}

TEST(D3DXMatrix, MultiplyAllowsTheOutputToBeEitherInput) {
    const D3DXMATRIX a = generalMatrix();
    D3DXMATRIX b;
    D3DXMatrixRotationY(&b, 0.7f);
    D3DXMATRIX expected;
    D3DXMatrixMultiply(&expected, &a, &b);

    D3DXMATRIX first = a;
    EXPECT_EQ(D3DXMatrixMultiply(&first, &first, &b), &first);
    EXPECT_TRUE(first == expected);

    D3DXMATRIX second = b;
    D3DXMatrixMultiply(&second, &a, &second);
    EXPECT_TRUE(second == expected);

    D3DXMATRIX square = a;
    D3DXMatrixMultiply(&square, &square, &square);
    EXPECT_TRUE(square == a * a);
}

TEST(D3DXMatrix, MultiplyAppliesTheFirstMatrixFirst) {
    D3DXMATRIX scale;
    D3DXMATRIX move;
    D3DXMatrixScaling(&scale, 2.0f, 2.0f, 2.0f);
    D3DXMatrixTranslation(&move, 10.0f, 0.0f, 0.0f);
    const D3DXVECTOR3 point(1.0f, 0.0f, 0.0f);
    expectNear(transformCoord(point, scale * move), 12.0f, 0.0f, 0.0f);
    expectNear(transformCoord(point, move * scale), 22.0f, 0.0f, 0.0f);
}

TEST(D3DXMatrix, QuarterTurnsTurnEachAxisTowardsTheNext) {
    const float quarter = D3DX_PI / 2.0f;
    D3DXMATRIX m;
    D3DXMatrixRotationX(&m, quarter);
    expectNear(transformCoord(D3DXVECTOR3(0, 1, 0), m), 0, 0, 1);
    expectNear(transformCoord(D3DXVECTOR3(0, 0, 1), m), 0, -1, 0);
    D3DXMatrixRotationY(&m, quarter);
    expectNear(transformCoord(D3DXVECTOR3(0, 0, 1), m), 1, 0, 0);
    expectNear(transformCoord(D3DXVECTOR3(1, 0, 0), m), 0, 0, -1);
    D3DXMatrixRotationZ(&m, quarter);
    expectNear(transformCoord(D3DXVECTOR3(1, 0, 0), m), 0, 1, 0);
    expectNear(transformCoord(D3DXVECTOR3(0, 1, 0), m), -1, 0, 0);
}

TEST(D3DXMatrix, RotationsMatchTheirDocumentedLayout) {
    const float a = 0.3f;
    const float c = std::cos(a);
    const float s = std::sin(a);
    D3DXMATRIX m;
    D3DXMatrixRotationX(&m, a);
    expectMatrixNear(m, D3DXMATRIX(1, 0, 0, 0, 0, c, s, 0, 0, -s, c, 0, 0, 0, 0, 1));
    D3DXMatrixRotationY(&m, a);
    expectMatrixNear(m, D3DXMATRIX(c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 0, 0, 0, 1));
    D3DXMatrixRotationZ(&m, a);
    expectMatrixNear(m, D3DXMATRIX(c, s, 0, 0, -s, c, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1));
}

TEST(D3DXMatrix, ScalingTranslationAndTranspose) {
    D3DXMATRIX m;
    D3DXMatrixScaling(&m, 2.0f, 3.0f, 4.0f);
    EXPECT_TRUE(m == D3DXMATRIX(2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 0, 0, 0, 1));
    D3DXMatrixTranslation(&m, 5.0f, 6.0f, 7.0f);
    EXPECT_TRUE(m == D3DXMATRIX(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 5, 6, 7, 1));

    D3DXMATRIX t(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
    D3DXMatrixTranspose(&t, &t);  // in place
    EXPECT_TRUE(t == D3DXMATRIX(1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15, 4, 8, 12, 16));
}

TEST(D3DXMatrix, InverseTimesMatrixIsIdentityAndTheDeterminantIsWritten) {
    const D3DXMATRIX m = generalMatrix();
    D3DXMATRIX inverse;
    float det = 0.0f;
    ASSERT_EQ(D3DXMatrixInverse(&inverse, &det, &m), &inverse);
    expectMatrixNear(inverse * m, identity(), 1e-5f);
    expectMatrixNear(m * inverse, identity(), 1e-5f);

    // The determinant of a known matrix: scale 2, 3, 4 with a translation is 24.
    D3DXMATRIX scale;
    D3DXMatrixScaling(&scale, 2.0f, 3.0f, 4.0f);
    scale._41 = 9.0f;
    EXPECT_NE(D3DXMatrixInverse(&inverse, &det, &scale), nullptr);
    EXPECT_FLOAT_EQ(det, 24.0f);
    expectMatrixNear(inverse, D3DXMATRIX(0.5f, 0, 0, 0, 0, 1 / 3.0f, 0, 0, 0, 0, 0.25f, 0, -4.5f, 0, 0, 1));

    // In place, and without asking for the determinant.
    D3DXMATRIX expected;
    D3DXMatrixInverse(&expected, nullptr, &m);
    D3DXMATRIX same = m;
    ASSERT_EQ(D3DXMatrixInverse(&same, nullptr, &same), &same);
    EXPECT_TRUE(same == expected);
}

TEST(D3DXMatrix, InverseOfASingularMatrixIsNull) {
    D3DXMATRIX flat;
    D3DXMatrixScaling(&flat, 1.0f, 0.0f, 1.0f);
    const D3DXMATRIX untouched = generalMatrix();
    D3DXMATRIX out = untouched;
    float det = 7.0f;
    EXPECT_EQ(D3DXMatrixInverse(&out, &det, &flat), nullptr);
    EXPECT_EQ(det, 0.0f);
    EXPECT_TRUE(out == untouched);

    // Two equal rows.
    const D3DXMATRIX twins(1, 2, 3, 4, 1, 2, 3, 4, 0, 1, 0, 0, 0, 0, 0, 1);
    EXPECT_EQ(D3DXMatrixInverse(&out, nullptr, &twins), nullptr);
}

TEST(D3DXMatrix, LookAtPutsTheTargetStraightAheadOnTheCameraZAxis) {
    const D3DXVECTOR3 eye(0.0f, 0.0f, -10.0f);
    const D3DXVECTOR3 at(0.0f, 0.0f, 0.0f);
    const D3DXVECTOR3 up(0.0f, 1.0f, 0.0f);
    D3DXMATRIX view;
    EXPECT_EQ(D3DXMatrixLookAtLH(&view, &eye, &at, &up), &view);
    // Looking down +z from z = -10 is a plain translation by +10 in z.
    expectMatrixNear(view, D3DXMATRIX(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 10, 1));
    expectNear(transformCoord(at, view), 0, 0, 10);
    expectNear(transformCoord(eye, view), 0, 0, 0);
}

TEST(D3DXMatrix, LookAtFromTheSideFollowsTheDocumentedAxes) {
    // Eye on +x looking at the origin: the camera's forward axis is -x, its right
    // axis is cross(up, forward) = +z in world space (left-handed), its up stays +y.
    const D3DXVECTOR3 eye(5.0f, 0.0f, 0.0f);
    const D3DXVECTOR3 at(0.0f, 0.0f, 0.0f);
    const D3DXVECTOR3 up(0.0f, 2.0f, 0.0f);  // need not be unit length
    D3DXMATRIX view;
    D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    expectMatrixNear(view, D3DXMATRIX(0, 0, -1, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 5, 1));
    expectNear(transformCoord(D3DXVECTOR3(0, 0, 1), view), 1, 0, 5);  // world +z is on the right
    expectNear(transformCoord(D3DXVECTOR3(0, 3, 0), view), 0, 3, 5);
}

TEST(D3DXMatrix, PerspectiveMapsNearToZeroAndFarToOne) {
    const float zn = 0.5f;
    const float zf = 100.0f;
    D3DXMATRIX proj;
    EXPECT_EQ(D3DXMatrixPerspectiveFovLH(&proj, D3DX_PI / 2.0f, 2.0f, zn, zf), &proj);
    expectNear(transformCoord(D3DXVECTOR3(0, 0, zn), proj), 0, 0, 0);
    expectNear(transformCoord(D3DXVECTOR3(0, 0, zf), proj), 0, 0, 1);
    // A 90 degree field of view: y = z lies on the top edge; with aspect 2 the
    // right edge is at x = 2z.
    expectNear(transformCoord(D3DXVECTOR3(0, 10, 10), proj), 0, 1, transformCoord({0, 0, 10}, proj).z);
    EXPECT_NEAR(transformCoord(D3DXVECTOR3(20, 0, 10), proj).x, 1.0f, kEpsilon);
    EXPECT_EQ(proj._34, 1.0f);  // w takes the camera-space z
    EXPECT_EQ(proj._44, 0.0f);
}

TEST(D3DXVector, TransformCoordDividesByWAndTransformNormalIgnoresTranslation) {
    D3DXMATRIX m;
    D3DXMatrixTranslation(&m, 1.0f, 2.0f, 3.0f);
    m._44 = 2.0f;  // w = 2 for every point
    expectNear(transformCoord(D3DXVECTOR3(1, 1, 1), m), 1.0f, 1.5f, 2.0f);

    D3DXMATRIX scaleMove;
    D3DXMatrixScaling(&scaleMove, 2.0f, 3.0f, 4.0f);
    scaleMove._41 = 100.0f;
    const D3DXVECTOR3 normal(1.0f, 1.0f, 0.0f);
    D3DXVECTOR3 out;
    EXPECT_EQ(D3DXVec3TransformNormal(&out, &normal, &scaleMove), &out);
    expectNear(out, 2.0f, 3.0f, 0.0f);  // not normalised, not translated

    D3DXVECTOR3 inPlace(0.0f, 1.0f, 0.0f);
    D3DXMATRIX turn;
    D3DXMatrixRotationX(&turn, D3DX_PI / 2.0f);
    D3DXVec3TransformNormal(&inPlace, &inPlace, &turn);
    expectNear(inPlace, 0, 0, 1);
    inPlace = D3DXVECTOR3(0.0f, 1.0f, 0.0f);
    D3DXVec3TransformCoord(&inPlace, &inPlace, &turn);
    expectNear(inPlace, 0, 0, 1);
}

TEST(D3DXVector, NormalizeCrossDotLength) {
    const D3DXVECTOR3 v(3.0f, 0.0f, 4.0f);
    EXPECT_FLOAT_EQ(D3DXVec3Length(&v), 5.0f);
    D3DXVECTOR3 n;
    EXPECT_EQ(D3DXVec3Normalize(&n, &v), &n);
    expectNear(n, 0.6f, 0.0f, 0.8f);

    const D3DXVECTOR3 zero(0.0f, 0.0f, 0.0f);
    D3DXVec3Normalize(&n, &zero);
    EXPECT_TRUE(n == zero);  // zero, not NaN

    const D3DXVECTOR3 x(1, 0, 0);
    const D3DXVECTOR3 y(0, 1, 0);
    D3DXVECTOR3 c;
    EXPECT_EQ(D3DXVec3Cross(&c, &x, &y), &c);
    expectNear(c, 0, 0, 1);
    D3DXVec3Cross(&c, &y, &x);
    expectNear(c, 0, 0, -1);
    const D3DXVECTOR3 a(1, 2, 3);
    const D3DXVECTOR3 b(-4, 5, 0.5f);
    EXPECT_FLOAT_EQ(D3DXVec3Dot(&a, &b), -4 + 10 + 1.5f);
    D3DXVec3Cross(&c, &a, &b);
    EXPECT_NEAR(D3DXVec3Dot(&c, &a), 0.0f, kEpsilon);
    EXPECT_NEAR(D3DXVec3Dot(&c, &b), 0.0f, kEpsilon);
}

}  // namespace
