// A receipt from the esc-pos-encoder client library, sent to HOST PORT.
'use strict';
const EscPosEncoder = require('esc-pos-encoder');
const {receipt, picture, send} = require('./common');

const [host, port] = process.argv.slice(2);
const encoder = new EscPosEncoder({columns: 42, imageMode: process.env.IMAGE_MODE || 'column'});
let e = encoder.initialize().codepage('cp437')
  .align('center').bold(true).size(2, 2).line(receipt.shop).size(1, 1).bold(false)
  .underline(true).line('Receipt 1042').underline(false)
  .invert(true).line(' TABLE 7 ').invert(false)
  .align('left')
  .rule({style: 'single'})
  .table([{width: 28, align: 'left'}, {width: 14, align: 'right'}], receipt.lines)
  .rule({style: 'double'})
  .table([{width: 28, align: 'left'}, {width: 14, align: 'right'}],
         [[(enc) => enc.bold(true).text(receipt.total[0]).bold(false), receipt.total[1]]])
  .newline()
  .align('center')
  .barcode(receipt.barcode, 'ean13', 60)
  .qrcode(receipt.qr, 2, 6, 'm')
  .image(picture(), 64, 64, 'threshold')
  .line('Thank you!')
  .cut();
send(host, Number(port), e.encode()).then(() => process.exit(0), (err) => {
  console.error(String(err));
  process.exit(1);
});
