# SPDX-License-Identifier: GPL-3.0-or-later
# The network: three blocks of two 3x3 convolutions over the ink raster, then
# a small fully connected head.
import torch
from torch import nn

import raster


def _block(cin, cout):
    return nn.Sequential(
        nn.Conv2d(cin, cout, 3, padding=1, bias=False), nn.BatchNorm2d(cout), nn.ReLU(inplace=True),
        nn.Conv2d(cout, cout, 3, padding=1, bias=False), nn.BatchNorm2d(cout), nn.ReLU(inplace=True),
        nn.MaxPool2d(2))


class InkNet(nn.Module):
    def __init__(self, classes, widths=(16, 32, 64), hidden=256, side=None):
        super().__init__()
        a, b, c = widths
        self.features = nn.Sequential(_block(raster.CHANNELS, a), _block(a, b), _block(b, c))
        side = (side or raster.SIDE) // 8
        self.head = nn.Sequential(
            nn.Flatten(), nn.Dropout(0.3), nn.Linear(c * side * side, hidden), nn.ReLU(inplace=True),
            nn.Dropout(0.3), nn.Linear(hidden, classes))

    def forward(self, x):
        return self.head(self.features(x))


def from_weights(weights, classes):
    """An InkNet in evaluation mode with a checkpoint's weights, built at the
    widths it was trained with (train.py --widths, --hidden)."""
    widths = tuple(weights["features.%d.0.weight" % b].shape[0] for b in range(3))
    model = InkNet(classes, widths=widths, hidden=weights["head.2.weight"].shape[0])
    model.load_state_dict(weights)
    model.eval()
    return model
