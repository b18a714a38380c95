# The game's axes and Blender's. A turn between them only moves and negates coordinates
# (the orientation options give matrices of 0 and +-1), so it is done as exactly that: no
# multiplication that would turn -0.0 into 0.0 or touch a bit of the float32 values, which
# an unedited model must keep to come back byte for byte.

import numpy as np


def permutation(matrix):
    """For each output axis, the input axis and the sign that give it."""
    rows = []
    for i in range(3):
        for j in range(3):
            value = matrix[i][j]
            if value != 0:
                rows.append((j, value > 0))
                break
        else:
            raise ValueError("the axis matrix is not a turn between axes")
    return rows


def inverse(rows):
    out = [None] * 3
    for i, (j, positive) in enumerate(rows):
        out[j] = (i, positive)
    return out


def turn(points, rows):
    """points: an N x 3 float32 array; the same points along the other axes."""
    out = np.empty_like(points)
    for i, (j, positive) in enumerate(rows):
        out[:, i] = points[:, j] if positive else -points[:, j]
    return out
