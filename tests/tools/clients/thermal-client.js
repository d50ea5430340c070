// A receipt from the node-thermal-printer client library, printed over its
// own TCP interface to HOST PORT.
'use strict';
const {ThermalPrinter, PrinterTypes, CharacterSet} = require('node-thermal-printer');
const {PNG} = require('pngjs');
const {receipt, picture} = require('./common');

async function main() {
  const [host, port] = process.argv.slice(2);
  const printer = new ThermalPrinter({
    type: PrinterTypes.EPSON,
    interface: `tcp://${host}:${port}`,
    characterSet: CharacterSet.PC437_USA,
    width: 48,
  });
  printer.alignCenter();
  printer.setTextQuadArea();
  printer.bold(true);
  printer.println(receipt.shop);
  printer.bold(false);
  printer.setTextNormal();
  printer.underline(true);
  printer.println('Receipt 1042');
  printer.underline(false);
  printer.invert(true);
  printer.println(' TABLE 7 ');
  printer.invert(false);
  printer.alignLeft();
  printer.println('═'.repeat(48));
  for (const [item, price] of receipt.lines) {
    printer.tableCustom([
      {text: item, align: 'LEFT', width: 0.6},
      {text: price, align: 'RIGHT', width: 0.35},
    ]);
  }
  printer.println('═'.repeat(48));
  printer.bold(true);
  printer.leftRight(receipt.total[0], receipt.total[1]);
  printer.bold(false);
  printer.alignCenter();
  printer.printBarcode(receipt.barcode.slice(0, 12), 67, {hriPos: 2, width: 3, height: 60});
  printer.printQR(receipt.qr, {cellSize: 6, correction: 'M', model: 2});
  const pic = picture();
  const png = new PNG({width: pic.width, height: pic.height});
  png.data = Buffer.from(pic.data);
  await printer.printImageBuffer(PNG.sync.write(png));
  printer.println('Thank you!');
  printer.cut();
  await printer.execute();
}
main().then(() => process.exit(0), (err) => {
  console.error(err && err.stack ? err.stack : String(err));
  process.exit(1);
});
