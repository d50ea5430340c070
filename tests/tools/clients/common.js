// What both clients print: the same till receipt, so that the test can hold
// each receipt the virtual printer writes against one list.
'use strict';
const net = require('net');

const receipt = {
  shop: 'CORNER CAFE',
  lines: [['Flat white', '3.20'], ['Croissant', '2.10'], ['Orange juice', '2.75']],
  total: ['TOTAL', '8.05'],
  barcode: '4006381333931',
  qr: 'https://example.com/r/1042?t=8.05&id=ZX81-77',
};

// A 64 x 64 dot picture: a black square frame with a diagonal, as RGBA.
function picture(size = 64) {
  const data = new Uint8ClampedArray(size * size * 4).fill(255);
  for (let y = 0; y < size; y++) {
    for (let x = 0; x < size; x++) {
      const ink = x < 4 || y < 4 || x >= size - 4 || y >= size - 4 || Math.abs(x - y) < 3;
      if (ink) for (let c = 0; c < 3; c++) data[(y * size + x) * 4 + c] = 0;
    }
  }
  return {data, width: size, height: size};
}

// Sends the bytes to the printer's port and waits until it has them all.
function send(host, port, bytes) {
  return new Promise((resolve, reject) => {
    const socket = net.connect({host, port}, () => socket.end(Buffer.from(bytes)));
    socket.on('error', reject);
    socket.on('close', resolve);
    socket.setTimeout(10000, () => socket.destroy(new Error('timed out')));
  });
}

module.exports = {receipt, picture, send};
